#include "plugins/meetlamp/win/meetlamp_service.h"

#include <exception>
#include <string>

namespace meetlamp {

MeetLampService::~MeetLampService() = default;

bool MeetLampService::Init(zu::ILogger* hostLogger) {
  PlatformServiceBase::Init(hostLogger);
  LogDebug("MeetLampService::_init");
  std::shared_ptr<AudioSessionMonitor> monitor;
  try {
    monitor = std::make_shared<AudioSessionMonitor>(hostLogger, enumeratorFactory_);
    monitor->InitAudioSessionManager();
    monitor->StartLedControl();
  } catch (const std::exception& e) {
    // The host lets no exception through. Without the keys, COM or the
    // pop-up thread the service stays idle: the monitor is discarded, its
    // registrations undone and its pop-up ended first.
    LogError(std::string("MeetLampService::Init: ") + e.what());
    if (monitor) monitor->Shutdown();
    MoveTo(zu::OUT_OF_SERVICE);
    return false;
  }
  {
    std::lock_guard lock(monitorMutex_);
    monitor_ = std::move(monitor);
  }
  MoveTo(zu::INIT);
  return true;
}

void MeetLampService::MoveTo(int32_t target) {
  if (state == target) return;
  const int32_t previous = state;
  state = target;
  onStateChange(previous);
}

bool MeetLampService::Run() {
  Transition(zu::IN_SERVICE, "MeetLampService::Run");
  return true;
}

bool MeetLampService::Join(int32_t) {
  Transition(zu::OUT_OF_SERVICE, "MeetLampService::Join");
  return true;
}

void MeetLampService::Release() {
  // The host unloads the library after Release: no Core Audio callback and
  // no pop-up thread may outlive it. The monitor itself stays until detach.
  std::shared_ptr<AudioSessionMonitor> monitor;
  {
    std::lock_guard lock(monitorMutex_);
    monitor = monitor_;
  }
  if (monitor) monitor->Shutdown();
  Transition(zu::UNKNOWN, "MeetLampService::Release");
}

bool MeetLampService::Heartbeat() {
  std::shared_ptr<AudioSessionMonitor> monitor;
  {
    std::lock_guard lock(monitorMutex_);
    monitor = monitor_;
  }
  if (monitor) monitor->ProcessPendingDevices();
  return true;
}

bool MeetLampService::Reset() {
  Transition(zu::INIT, "MeetLampService::Reset");
  return true;
}

void MeetLampService::onEvent(uint32_t eventCode) {
  std::shared_ptr<AudioSessionMonitor> monitor;
  {
    std::lock_guard lock(monitorMutex_);
    monitor = monitor_;
  }
  // Without a monitor (before Init, or after a failed one) every code is ignored.
  if (monitor) monitor->HandleEvent(eventCode);
}

}  // namespace meetlamp
