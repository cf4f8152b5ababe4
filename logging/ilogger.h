// The logging interface shared by both programs and handed to every plug-in
// service. Its three operations keep this slot order in every module.
#pragma once

#include <string>

namespace zu {

// Level codes: the first argument of every logger operation.
enum LogLevel : int {
  kLogInfo = 0,
  kLogWarning = 1,
  kLogError = 2,
  kLogInfoQuiet = 3,  // information in the file, a plain success record in the event log
  kLogDebug = 4,
};

class ILogger {
 public:
  // One line in the log file (subject to the level filter); returns 0.
  virtual int Log(int level, const std::string& component, const std::string& message) = 0;
  // One Windows event-log record; returns 0, or -1 for a message over 512 characters.
  virtual int Report(int level, const std::string& component, const std::string& message) = 0;
  // Log, then Report; returns both results OR-ed.
  virtual int LogAndReport(int level, const std::string& component, const std::string& message) = 0;

 protected:
  // Loggers are owned by the program that made them and never destroyed
  // through this interface; a virtual destructor would also move the slots.
  ~ILogger() = default;
};

// Intermediate base of the concrete loggers; adds no behaviour.
class LoggerBase : public ILogger {
 protected:
  ~LoggerBase() = default;
};

}  // namespace zu
