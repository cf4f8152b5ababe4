// A minimal service built on the common base, used by the contract tests
// directly and, inside a test plug-in DLL, through the exported factory.
#pragma once

#include <vector>

#include "plugins/common/platform_service_base.h"

namespace zu::testing {

class ProbeService final : public PlatformServiceBase {
 public:
  ProbeService() : PlatformServiceBase("ProbeService") {}
  ~ProbeService() { LogInfo("ProbeService destroyed"); }

  bool Init(ILogger* hostLogger) override {
    PlatformServiceBase::Init(hostLogger);
    Transition(INIT, "ProbeService::Init");
    return true;
  }
  bool Run() override {
    Transition(IN_SERVICE, "ProbeService::Run");
    return true;
  }
  bool Join(int32_t) override {
    Transition(OUT_OF_SERVICE, "ProbeService::Join");
    return true;
  }
  void Release() override { Transition(UNKNOWN, "ProbeService::Release"); }
  bool Heartbeat() override { return true; }
  bool Reset() override {
    Transition(INIT, "ProbeService::Reset");
    return true;
  }
  void onEvent(uint32_t code) override { events.push_back(code); }
  void onStateChange(int32_t previous) override { LogStateChange(previous); }

  std::vector<uint32_t> events;
};

}  // namespace zu::testing
