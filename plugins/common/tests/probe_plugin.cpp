// Test plug-in: one ProbeService created at attach, destroyed at detach,
// exported through GetServiceControlBlock like every real plug-in.
#include <windows.h>

#include "plugins/common/service_export.h"
#include "plugins/common/tests/probe_service.h"

namespace {
zu::ServiceInstance<zu::testing::ProbeService> g_service;
}

ZU_EXPORT_SERVICE_CONTROL_BLOCK(g_service.get())

// Lets the test read back what reached the object inside the library.
extern "C" __declspec(dllexport) size_t ProbeEventCount() {
  return g_service.get() ? g_service.get()->events.size() : 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_service.Create();
  if (reason == DLL_PROCESS_DETACH) g_service.Destroy();
  return TRUE;
}
