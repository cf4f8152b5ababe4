// The conference LED service: the plug-in's one service object. Init builds
// the AudioSessionMonitor, which follows microphone use and switches the
// LED; the hot key FN_1 cycles the LED mode Auto -> On -> Off.
#pragma once

#include <memory>
#include <mutex>

#include "plugins/common/platform_service_base.h"
#include "plugins/meetlamp/win/audio_session_monitor.h"

namespace meetlamp {

class MeetLampService final : public zu::PlatformServiceBase {
 public:
  // The enumerator factory reaches the monitor at Init (tests pass their own).
  explicit MeetLampService(EnumeratorFactory enumeratorFactory = CreateSystemEnumerator)
      : PlatformServiceBase("MeetLampService"), enumeratorFactory_(std::move(enumeratorFactory)) {}
  ~MeetLampService();

  bool Init(zu::ILogger* hostLogger) override;
  bool Run() override;
  bool Join(int32_t reserved) override;
  // Shuts the monitor down (registrations undone, pop-up ended), so that the
  // library can be unloaded after it.
  void Release() override;
  bool Heartbeat() override;
  bool Reset() override;
  void onEvent(uint32_t eventCode) override;
  void onStateChange(int32_t previous) override { LogStateChange(previous); }

 private:
  // Init's state change: its one debug line, "MeetLampService::_init", is
  // written when Init begins, so the move itself logs only the change.
  void MoveTo(int32_t target);

  EnumeratorFactory enumeratorFactory_;
  // Init (supervisor thread) publishes the monitor that onEvent (window
  // thread) and Heartbeat use; null before Init and after a failed Init.
  std::mutex monitorMutex_;
  std::shared_ptr<AudioSessionMonitor> monitor_;
};

}  // namespace meetlamp
