// Tintora.dll: the display colour service, offered on laptops.
#include <windows.h>

#include <mutex>

#include "plugins/common/firmware_table.h"
#include "plugins/common/service_export.h"
#include "plugins/common/smbios_chassis.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/win/tintora_service.h"

namespace {

zu::ServiceInstance<tintora::Tintora> g_service;

// Decided on the first request rather than at attach, so the firmware
// table is not read under the loader lock. Only a laptop chassis has the
// built-in panel this service calibrates.
zu::IPlatformService* ServiceControlBlock() {
  static std::once_flag decided;
  std::call_once(decided, [] {
    if (zu::IsLaptopChassis(zu::ReadSystemChassisType())) g_service.Create(tintora::ProcessCalibration());
  });
  return g_service.get();
}

}  // namespace

ZU_EXPORT_SERVICE_CONTROL_BLOCK(ServiceControlBlock())

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH) g_service.Destroy();
  return TRUE;
}
