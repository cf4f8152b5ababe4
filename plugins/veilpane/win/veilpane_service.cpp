#include "plugins/veilpane/win/veilpane_service.h"

#include <exception>

#include "agent/event_codes.h"
#include "plugins/common/acpi_device.h"
#include "plugins/common/acpi_request.h"
#include "plugins/common/user_settings.h"
#include "plugins/veilpane/panel_mode.h"

namespace veilpane {

bool Veilpane::Init(zu::ILogger* hostLogger) {
  PlatformServiceBase::Init(hostLogger);
  {
    std::lock_guard lock(mutex_);
    try {
      settings_ = std::make_unique<zu::SettingsKey>(zu::OpenUserSettingsKey(L"Veilpane"));
    } catch (const std::exception& e) {
      // The host lets no exception through; without the keys there is
      // nothing to remember the mode in, so nothing of it is applied.
      LogError(std::string("Veilpane::Init: ") + e.what());
      Transition(zu::OUT_OF_SERVICE, "Veilpane::Init");
      return false;
    }
    // The privacy view starts switched off at every start of the agent.
    mode_ = kModeOff;
    ApplyMode(mode_, true);
  }
  {
    // The pop-up thread starts here rather than at attach, where the loader
    // lock forbids loading its library and starting threads.
    std::lock_guard lock(popupMutex_);
    popupsWanted_ = true;
    try {
      osd_.Start();
    } catch (const std::exception& e) {
      LogError(std::string("Veilpane::Init: no pop-ups: ") + e.what());
    }
  }
  Transition(zu::INIT, "Veilpane::Init");
  return true;
}

bool Veilpane::Run() {
  Transition(zu::IN_SERVICE, "Veilpane::Run");
  return true;
}

bool Veilpane::Join(int32_t) {
  Transition(zu::OUT_OF_SERVICE, "Veilpane::Join");
  return true;
}

void Veilpane::Release() {
  {
    std::lock_guard lock(popupMutex_);
    popupsWanted_ = false;
    osd_.End();
  }
  Transition(zu::UNKNOWN, "Veilpane::Release");
}

bool Veilpane::Reset() {
  Transition(zu::INIT, "Veilpane::Reset");
  return true;
}

void Veilpane::onEvent(uint32_t eventCode) {
  if (eventCode == zu::FN_2) {
    std::lock_guard lock(mutex_);
    // Before Init there is no key to remember the mode in: ignored.
    if (!settings_) return;
    LogDebug("Veilpane::onEvent");
    mode_ = ToggledMode(mode_);
    ApplyMode(mode_, false);
  } else if (eventCode == zu::DISPLAY_CHANGE) {
    // The pop-up lays itself out for the display it starts on.
    std::lock_guard lock(popupMutex_);
    if (!popupsWanted_) return;
    try {
      osd_.Restart();
    } catch (const std::exception& e) {
      LogError(std::string("Veilpane::onEvent: no pop-ups: ") + e.what());
    }
  }
}

bool Veilpane::SetMode(int32_t mode) {
  const std::optional<uint32_t> value = DeviceValueForMode(mode);
  if (!value) {
    LogWarning("Veilpane::SetMode: unknown mode");
    return false;
  }
  uint32_t answer = 0;
  const int result = zu::acpi::SetDeviceStatus(zu::acpi::kDevicePrivacyPanel, *value, &answer);
  if (result == 0) return true;
  uint32_t status = 0;
  const int statusResult = zu::acpi::GetDeviceStatus(zu::acpi::kDevicePrivacyPanelStatus, &status);
  LogWarning(SetFailureLine(result, answer, statusResult, status));
  return false;
}

void Veilpane::ApplyMode(int32_t mode, bool silent) {
  if (settings_->WriteDword(L"mode", static_cast<DWORD>(mode)) != ERROR_SUCCESS) LogError("unable to set mode");
  SetMode(mode);
  if (!silent) osd_.Show(OSD_KIND_PRIVACY_VIEW, mode);
}

}  // namespace veilpane
