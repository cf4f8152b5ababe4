// Logging mix-in of the plug-in services: each line carries the service's
// tag and goes to the host's logger, or nowhere before Init.
#pragma once

#include <string>

#include "logging/ilogger.h"

namespace zu {

class ILoggable {
 public:
  virtual std::string GetLogTag() = 0;

  void LogDebug(const std::string& message) { Write(kLogDebug, message); }
  void LogInfo(const std::string& message) { Write(kLogInfo, message); }
  void LogWarning(const std::string& message) { Write(kLogWarning, message); }
  void LogError(const std::string& message) { Write(kLogError, message); }

 protected:
  ~ILoggable() = default;

  // The host's logger; null until Init, not owned.
  ILogger* logger = nullptr;

 private:
  void Write(int level, const std::string& message) {
    if (logger) logger->Log(level, GetLogTag(), message);
  }
};

}  // namespace zu
