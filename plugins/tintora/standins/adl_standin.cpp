// Stand-in for the AMD display library (built as atiadlxx.dll and as
// atiadlxy.dll, and once without the gamut and regamma functions): records
// the calls and the regamma record it is given, answers as the test's
// settings say.
//
// Settings: ADL_CREATE_RESULT, ADL_ADAPTER_COUNT_RESULT, ADL_ADAPTER_COUNT,
// ADL_ADAPTER_INFO_RESULT, ADL_ADAPTER_INDEX, ADL_DISPLAY_RESULT,
// ADL_DISPLAY_COUNT, ADL_DISPLAY_INDEX, ADL_DISPLAY_ADAPTER,
// ADL_DISPLAY_INFO_VALUE, ADL_GAMUT_RESULT, ADL_SET_RESULT. Records:
// calls.txt, regamma.bin (the record RegammaR1_Set received).
#include <windows.h>

#include <cstring>
#include <string>

#include "plugins/tintora/gamma_records.h"
#include "plugins/tintora/standins/standin_io.h"

using tintora::AdlAdapterInfo;
using tintora::AdlDisplayInfo;
using tintora::AdlRegamma;

namespace {

using AdlMalloc = void*(__stdcall*)(int size);
AdlMalloc g_alloc = nullptr;

int Result(const char* name) { return static_cast<int>(standin::NumberSetting(name, 0)); }

int AdapterIndex() { return static_cast<int>(standin::NumberSetting("ADL_ADAPTER_INDEX", 5)); }

}  // namespace

#define ADL_EXPORT extern "C" __declspec(dllexport) int __stdcall

ADL_EXPORT ADL_Main_Control_Create(AdlMalloc alloc, int enumerateConnected) {
  standin::Call("Create " + std::to_string(enumerateConnected));
  g_alloc = alloc;
  return Result("ADL_CREATE_RESULT");
}

ADL_EXPORT ADL_Main_Control_Destroy() {
  standin::Call("Destroy");
  g_alloc = nullptr;
  return 0;
}

ADL_EXPORT ADL_Adapter_NumberOfAdapters_Get(int* count) {
  standin::Call("NumberOfAdapters");
  *count = static_cast<int>(standin::NumberSetting("ADL_ADAPTER_COUNT", 1));
  return Result("ADL_ADAPTER_COUNT_RESULT");
}

ADL_EXPORT ADL_Adapter_AdapterInfo_Get(AdlAdapterInfo* info, int size) {
  standin::Call("AdapterInfo " + std::to_string(size));
  const int count = size / static_cast<int>(sizeof(AdlAdapterInfo));
  for (int i = 0; i < count; ++i) {
    info[i].size = sizeof(AdlAdapterInfo);
    info[i].adapterIndex = AdapterIndex() + i;
  }
  return Result("ADL_ADAPTER_INFO_RESULT");
}

ADL_EXPORT ADL_Display_DisplayInfo_Get(int adapter, int* count, AdlDisplayInfo** displays, int forceDetect) {
  standin::Call("DisplayInfo " + std::to_string(adapter) + " " + std::to_string(forceDetect));
  *count = static_cast<int>(standin::NumberSetting("ADL_DISPLAY_COUNT", 1));
  if (*count > 0 && g_alloc) {
    auto* records = static_cast<AdlDisplayInfo*>(g_alloc(*count * static_cast<int>(sizeof(AdlDisplayInfo))));
    std::memset(records, 0, *count * sizeof(AdlDisplayInfo));
    for (int i = 0; i < *count; ++i) {
      records[i].logicalIndex = static_cast<int>(standin::NumberSetting("ADL_DISPLAY_INDEX", 7)) + i;
      records[i].logicalAdapterIndex = static_cast<int>(standin::NumberSetting("ADL_DISPLAY_ADAPTER", adapter));
      records[i].infoMask = 0xFF;
      records[i].infoValue = static_cast<int>(standin::NumberSetting("ADL_DISPLAY_INFO_VALUE", 0x3));
    }
    *displays = records;
  }
  return Result("ADL_DISPLAY_RESULT");
}

#ifndef ADL_STANDIN_WITHOUT_REGAMMA
ADL_EXPORT ADL_Display_Gamut_Caps(int adapter, int display, int gamut, void* caps) {
  standin::Call("GamutCaps " + std::to_string(adapter) + " " + std::to_string(display) + " " +
                std::to_string(gamut));
  std::memset(caps, 0, 8);
  return Result("ADL_GAMUT_RESULT");
}

ADL_EXPORT ADL_Display_RegammaR1_Get(int adapter, int display, AdlRegamma*) {
  standin::Call("RegammaGet " + std::to_string(adapter) + " " + std::to_string(display));
  return -1;
}

ADL_EXPORT ADL_Display_RegammaR1_Set(int adapter, int display, AdlRegamma* regamma) {
  standin::Call("RegammaSet " + std::to_string(adapter) + " " + std::to_string(display));
  standin::Write("regamma.bin", regamma, sizeof *regamma, false);
  return Result("ADL_SET_RESULT");
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) standin::Call("unloaded");
  return TRUE;
}
