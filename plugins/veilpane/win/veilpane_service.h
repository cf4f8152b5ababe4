// The privacy panel service: the firmware hot key FN_2 toggles the privacy
// view, which is remembered in the user's registry, set on the panel device
// and confirmed with a pop-up.
#pragma once

#include <memory>
#include <mutex>

#include "logging/settings_key.h"
#include "plugins/common/osd_host.h"
#include "plugins/common/platform_service_base.h"

namespace veilpane {

class Veilpane final : public zu::PlatformServiceBase {
 public:
  Veilpane() : PlatformServiceBase("Veilpane") {}
  // Library detach: closes the keys; the pop-up has ended by then (Release,
  // or process exit, which has stopped its thread).
  ~Veilpane() = default;

  // Opens the user's keys, switches the panel off without a pop-up and
  // starts the pop-up thread. False, with an error line, when the keys
  // cannot be opened: the mode is then not applied and hot keys are ignored.
  bool Init(zu::ILogger* hostLogger) override;
  bool Run() override;
  bool Join(int32_t reserved) override;
  // Ends the pop-up thread, so the library can be unloaded after it.
  void Release() override;
  bool Heartbeat() override { return true; }
  bool Reset() override;
  void onEvent(uint32_t eventCode) override;
  void onStateChange(int32_t previous) override { LogStateChange(previous); }

  // Sets the panel device for `mode`; false (with a warning) when the mode
  // is unknown or the device refused.
  bool SetMode(int32_t mode);
  // Stores `mode`, sets the panel and, unless `silent`, shows the pop-up.
  void ApplyMode(int32_t mode, bool silent);

 private:
  // Init runs on the agent's supervisor thread, onEvent on its window
  // thread, and the host does not keep them apart.
  std::mutex mutex_;
  int32_t mode_ = 0;                           // guarded by mutex_
  std::unique_ptr<zu::SettingsKey> settings_;  // guarded by mutex_; null until Init
  // Whether the pop-up thread should run (from Init to Release), so that a
  // display change never starts one after Release.
  std::mutex popupMutex_;
  bool popupsWanted_ = false;  // guarded by popupMutex_
  zu::OsdHost osd_;
};

}  // namespace veilpane
