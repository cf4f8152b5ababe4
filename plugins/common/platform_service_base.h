// Common base of every plug-in service: name, type and state, the logging
// mix-in, and the state-transition rule all services follow.
#pragma once

#include <string>

#include "plugins/common/loggable.h"
#include "plugins/common/platform_service.h"

namespace zu {

class PlatformServiceBase : public IPlatformService, public ILoggable {
 public:
  std::string GetName() override { return name; }
  int32_t GetType() override { return type; }
  int32_t GetState() override { return state; }
  // Stores the host logger; no state change.
  bool Init(ILogger* hostLogger) override {
    logger = hostLogger;
    return true;
  }
  std::string GetLogTag() override { return name; }

 protected:
  explicit PlatformServiceBase(std::string serviceName, int32_t serviceType = 1)
      : name(std::move(serviceName)), type(serviceType) {}
  ~PlatformServiceBase() = default;

  // Logs `operation` (such as "Veilpane::Run") at debug level, then moves to
  // `target`: when already there nothing else happens, otherwise the state is
  // stored and onStateChange is called with the previous one.
  void Transition(int32_t target, const std::string& operation);

  // The line every service's onStateChange writes:
  // "state change <previous> -> <current>" at information level.
  void LogStateChange(int32_t previous);

  std::string name;
  int32_t type;
  int32_t state = UNKNOWN;
};

}  // namespace zu
