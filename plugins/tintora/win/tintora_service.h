// The display colour service: calibrates the built-in display when it is
// initialised and again after every resume from suspend.
#pragma once

#include "plugins/common/platform_service_base.h"

namespace tintora {

struct CalibrationState;

// The event code of a resume from suspend.
inline constexpr uint32_t kResumeEvent = 0x20002;

class Tintora final : public zu::PlatformServiceBase {
 public:
  explicit Tintora(CalibrationState& calibration) : PlatformServiceBase("Tintora"), calibration_(calibration) {}

  bool Init(zu::ILogger* hostLogger) override;
  bool Run() override;
  bool Join(int32_t reserved) override;
  void Release() override;
  bool Heartbeat() override { return true; }
  bool Reset() override;
  void onEvent(uint32_t eventCode) override;
  void onStateChange(int32_t previous) override { LogStateChange(previous); }

 private:
  CalibrationState& calibration_;  // the library's process-wide state
};

}  // namespace tintora
