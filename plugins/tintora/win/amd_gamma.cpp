// The AMD back-end: the ramp goes to the display library, loaded at run time.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "base/win/unique_module.h"
#include "plugins/tintora/gamma_records.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

constexpr const char* kStep = "AMD_SetGamma";

using AdlMalloc = void*(__stdcall*)(int size);
using MainControlCreate = int(__stdcall*)(AdlMalloc alloc, int enumerateConnectedAdapters);
using MainControlDestroy = int(__stdcall*)();
using NumberOfAdaptersGet = int(__stdcall*)(int* count);
using AdapterInfoGet = int(__stdcall*)(AdlAdapterInfo* info, int inputSize);
using DisplayInfoGet = int(__stdcall*)(int adapter, int* displayCount, AdlDisplayInfo** displays, int forceDetect);
using GamutCaps = int(__stdcall*)(int adapter, int display, int gamut, void* caps);
using RegammaGet = int(__stdcall*)(int adapter, int display, AdlRegamma* regamma);
using RegammaSet = int(__stdcall*)(int adapter, int display, AdlRegamma* regamma);

// The library's memory callback: it frees nothing itself, so what it gets
// from here the caller frees.
void* __stdcall AdlAllocate(int size) { return std::malloc(size > 0 ? static_cast<size_t>(size) : 1); }

struct AdlApi {
  MainControlCreate create;
  MainControlDestroy destroy;
  NumberOfAdaptersGet numberOfAdapters;
  AdapterInfoGet adapterInfo;
  DisplayInfoGet displayInfo;
  GamutCaps gamutCaps;
  RegammaGet regammaGet;
  RegammaSet regammaSet;
};

zu::win::UniqueModule LoadAdl() {
  zu::win::UniqueModule module(::LoadLibraryA("atiadlxx.dll"));
  if (module) {
    char path[128] = {};
    ::GetModuleFileNameA(module.get(), path, sizeof path - 1);
    WriteLog(kWriteLogInfo, "Loaded from %s", path);
    return module;
  }
  TINTORA_LOG(kWriteLogError, kStep, "ADL library not found ErrCode 0x%x", static_cast<unsigned>(::GetLastError()));
  module.reset(::LoadLibraryA("atiadlxy.dll"));
  if (!module)
    TINTORA_LOG(kWriteLogError, kStep, "ADL library not found ErrCode 0x%x", static_cast<unsigned>(::GetLastError()));
  return module;
}

// The context and the records of one call, released in this order: the
// adapter records, the display records, the context, the library.
class AdlSession {
 public:
  AdlSession(zu::win::UniqueModule module, const AdlApi& api) : module_(std::move(module)), api_(api) {}
  ~AdlSession() {
    adapters_.clear();
    std::free(displays_);
    if (created_) api_.destroy();
  }
  AdlSession(const AdlSession&) = delete;
  AdlSession& operator=(const AdlSession&) = delete;

  void SetCreated() { created_ = true; }
  std::vector<AdlAdapterInfo>& adapters() { return adapters_; }
  AdlDisplayInfo** displays() { return &displays_; }

 private:
  zu::win::UniqueModule module_;  // unloaded last, after the members above
  AdlApi api_;
  bool created_ = false;
  std::vector<AdlAdapterInfo> adapters_;
  AdlDisplayInfo* displays_ = nullptr;
};

}  // namespace

int AMD_SetGamma(const CalibrationState& state) {
  zu::win::UniqueModule module = LoadAdl();
  if (!module) return -1;

  AdlApi api{};
  api.create = module.GetProc<MainControlCreate>("ADL_Main_Control_Create");
  api.destroy = module.GetProc<MainControlDestroy>("ADL_Main_Control_Destroy");
  api.numberOfAdapters = module.GetProc<NumberOfAdaptersGet>("ADL_Adapter_NumberOfAdapters_Get");
  api.adapterInfo = module.GetProc<AdapterInfoGet>("ADL_Adapter_AdapterInfo_Get");
  api.displayInfo = module.GetProc<DisplayInfoGet>("ADL_Display_DisplayInfo_Get");
  if (!api.create || !api.destroy || !api.numberOfAdapters || !api.adapterInfo || !api.displayInfo) {
    TINTORA_LOG(kWriteLogError, kStep, "ADL's API is missing!");
    return -1;
  }
  api.gamutCaps = module.GetProc<GamutCaps>("ADL_Display_Gamut_Caps");
  api.regammaGet = module.GetProc<RegammaGet>("ADL_Display_RegammaR1_Get");
  api.regammaSet = module.GetProc<RegammaSet>("ADL_Display_RegammaR1_Set");
  if (!api.gamutCaps || !api.regammaGet || !api.regammaSet) {
    WriteLog(kWriteLogError, "Gamut or Regamma APIs are missing!");
    return -1;
  }

  AdlSession session(std::move(module), api);
  if (api.create(&AdlAllocate, 1) != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "ADL Initialization Error!");
    return -1;
  }
  session.SetCreated();

  int adapterCount = 0;
  if (api.numberOfAdapters(&adapterCount) != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "Cannot get the number of adapters!");
    return -1;
  }
  if (adapterCount < 1) return -1;

  auto& adapters = session.adapters();
  adapters.assign(static_cast<size_t>(adapterCount), AdlAdapterInfo{});
  if (api.adapterInfo(adapters.data(), static_cast<int>(adapters.size() * sizeof(AdlAdapterInfo))) != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "ADL_Adapter_AdapterInfo_Get() failed!");
    return -1;
  }
  const int adapter = adapters[0].adapterIndex;

  // Only the first display of the first adapter, and only when it is mapped
  // to the desktop.
  int displayCount = 0;
  if (api.displayInfo(adapter, &displayCount, session.displays(), 0) != 0 || displayCount < 1 ||
      !*session.displays() || !IsMappedDisplayOf(**session.displays(), adapter))
    return -1;
  const int display = (*session.displays())->logicalIndex;

  int32_t gamutCapabilities[16] = {};  // asked for, not otherwise used
  if (api.gamutCaps(adapter, display, 0, gamutCapabilities) != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "ADL_Display_Gamut_Caps() failed with adapter %d !", adapter);
    return -1;
  }

  AdlRegamma regamma = MakeRegamma(state.params.outLut);
  for (int i = 0; i < 256; ++i)
    WriteLog(kWriteLogDebug, "Tintora AMD_SetGamma[%d]: %d %d %d", i, regamma.ramp[0][i], regamma.ramp[1][i],
             regamma.ramp[2][i]);
  if (api.regammaSet(adapter, display, &regamma) != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "ADL_Display_RegammaCoeff_Set() failed with adapter %d !", adapter);
    return -1;
  }
  TINTORA_LOG(kWriteLogDebug, kStep, "ADL_Display_RegammaR1_Set() success %d !", adapter);
  return 0;
}

}  // namespace tintora
