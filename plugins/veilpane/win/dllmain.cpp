// Veilpane.dll: the privacy panel service, offered on laptops whose firmware
// has the panel.
#include <windows.h>

#include "plugins/common/acpi_request.h"
#include "plugins/common/check_chassis.h"
#include "plugins/common/service_export.h"
#include "plugins/veilpane/win/veilpane_service.h"

namespace {
zu::ServiceInstance<veilpane::Veilpane> g_service;
}

ZU_EXPORT_SERVICE_CONTROL_BLOCK(g_service.get())

// Attach only reads the firmware table and asks the device (no threads, no
// library loads); the pop-up thread starts at Init. At detach the pop-up
// has ended: in Release, or by process exit, which stops every thread first.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    if (zu::CheckChassis(zu::acpi::kDevicePrivacyPanel)) g_service.Create();
  }
  if (reason == DLL_PROCESS_DETACH) g_service.Destroy();
  return TRUE;
}
