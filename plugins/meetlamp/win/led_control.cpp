#include "plugins/meetlamp/win/led_control.h"

#include "plugins/common/acpi_device.h"
#include "plugins/common/acpi_request.h"
#include "plugins/common/user_settings.h"

namespace meetlamp {

namespace {
constexpr const wchar_t* kModeValue = L"mode";
}

LedControl::LedControl(zu::ILoggable& log) : log_(log), settings_(zu::OpenUserSettingsKey(L"ConfigLED")) {
  DWORD stored = 0;
  mode_ = settings_.ReadDword(kModeValue, &stored) == ERROR_SUCCESS ? LedModeFromStored(stored) : Auto;
}

void LedControl::WriteMode() {
  if (settings_.WriteDword(kModeValue, static_cast<DWORD>(mode_)) != ERROR_SUCCESS) log_.LogError("unable to set mode");
}

void LedControl::ApplyLedRule(PresenceState newPresence) {
  log_.LogInfo(AppStateLine(mode_, lastPresence_, newPresence));
  SetLed(LedShouldBeOn(mode_, newPresence));
}

bool LedControl::SetLed(bool on) {
  log_.LogDebug(on ? "Turn on LED" : "Turn off LED");
  uint32_t setStatus = 0;
  const int setResult = zu::acpi::SetDeviceStatus(zu::acpi::kDeviceConferenceLed, on ? 1 : 0, &setStatus);
  if (setResult == 0) return true;
  // No retry: the next change of mode or presence tries again.
  uint32_t status = 0;
  const int getResult = zu::acpi::GetDeviceStatus(zu::acpi::kDeviceConferenceLed, &status);
  log_.LogWarning(SetLedFailureLine(setResult, setStatus, getResult, status));
  return false;
}

}  // namespace meetlamp
