// meetlamp.dll: the conference LED service, offered on laptops whose
// firmware has the LED.
#include <windows.h>

#include "plugins/common/acpi_request.h"
#include "plugins/common/check_chassis.h"
#include "plugins/common/service_export.h"
#include "plugins/meetlamp/win/meetlamp_service.h"

namespace {
zu::ServiceInstance<meetlamp::MeetLampService> g_service;
}

ZU_EXPORT_SERVICE_CONTROL_BLOCK(g_service.get())

// Attach only reads the firmware table and asks the device; COM, Core Audio
// and the pop-up thread start at Init. Release has undone them before the
// host frees the library, so the detach of FreeLibrary only frees memory.
// At process exit the other threads (Core Audio's and the pop-up's) are
// already gone and COM must not be called: the object is left to the exit.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    if (zu::CheckChassis(zu::acpi::kDeviceConferenceLed)) g_service.Create();
  }
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) g_service.Destroy();
  return TRUE;
}
