#include "plugins/tintora/win/tintora_service.h"

#include "plugins/tintora/win/calibration_state.h"

namespace tintora {

bool Tintora::Init(zu::ILogger* hostLogger) {
  PlatformServiceBase::Init(hostLogger);
  Transition(zu::INIT, "Tintora::Init");
  InitColorCalibration(calibration_, hostLogger);
  if (!calibration_.CalibrationFailed) DoColorCalibration(calibration_);
  return true;
}

bool Tintora::Run() {
  Transition(zu::IN_SERVICE, "Tintora::Run");
  return true;
}

bool Tintora::Join(int32_t) {
  Transition(zu::OUT_OF_SERVICE, "Tintora::Join");
  return true;
}

void Tintora::Release() { Transition(zu::UNKNOWN, "Tintora::Release"); }

bool Tintora::Reset() {
  Transition(zu::INIT, "Tintora::Reset");
  return true;
}

void Tintora::onEvent(uint32_t eventCode) {
  if (eventCode != kResumeEvent) return;
  LogInfo("DoColorCalibration");
  // Does nothing until a calibration succeeded, and never after a failed one.
  DoColorCalibration(calibration_);
}

}  // namespace tintora
