#include "agent/supervisor.h"

namespace zu {

uint32_t Supervisor::Supervise() {
  if (services_.empty()) {
    host_.Print("runtime link error\n");
    return kSupervisorNothingLoaded;
  }
  InitServices();
  while (!host_.StopRequested()) Pass();
  Teardown();
  return kSupervisorDone;
}

void Supervisor::InitServices() {
  services_.ForEach([&](ServiceEntry& entry) {
    entry.service->Init(logger_);
    entry.misses = 0;
  });
}

void Supervisor::Retire(IPlatformService& service) {
  service.Join(0);
  service.Release();
}

void Supervisor::Pass() {
  bool paused = false;
  bool acted = false;
  auto pause = [&] {
    host_.Sleep(kHeartbeatPauseMs);
    paused = true;
  };
  services_.ForEach([&](ServiceEntry& entry) {
    IPlatformService& service = *entry.service;
    switch (service.GetState()) {
      case INIT:
        service.Run();
        acted = true;
        break;
      case IN_SERVICE:
        if (service.Heartbeat()) {
          entry.misses = 0;
        } else if (++entry.misses > kMissLimit) {
          host_.Print("Service ANR\n");
          if (!service.Reset()) Retire(service);
          entry.misses = 0;
        }
        pause();
        break;
      case OUT_OF_SERVICE:
        if (!service.Reset()) Retire(service);
        acted = true;
        break;
      default:
        // UNKNOWN or a value outside the states: left alone, visited again.
        break;
    }
  });
  // A pass that only found services that will not move by themselves
  // (UNKNOWN, released or withdrawn) rests longer, so an agent whose
  // services are all out of the game costs no CPU while it waits.
  if (paused) return;
  if (acted)
    host_.Sleep(kIdlePassPauseMs);
  else
    host_.Rest(kRestingPassPauseMs);
}

void Supervisor::Teardown() {
  services_.ForEach([&](ServiceEntry& entry) {
    Retire(*entry.service);
    // Out of the window's reach before its code goes away.
    services_.Withdraw(entry);
    host_.Unload(entry);
  });
}

}  // namespace zu
