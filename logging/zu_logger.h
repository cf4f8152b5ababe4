// The file and event-log logger of both programs.
//
// Lines go to <base>\<name>\log.txt through one process-wide rotating file
// logger (10 MiB, 3 rotated files, flushed on every line). Lines the file
// cannot take (a full disk, a read-only folder) are counted, and the first
// line written afterwards is preceded by one that gives their number. With
// the machine setting "debug" = 1 the file takes debug lines and every Log
// call is also echoed on standard output. Report writes Windows event-log records under
// the source "TarnService".
#pragma once

#include <string>

#include "logging/ilogger.h"

namespace zu {

inline constexpr const char* kEventSourceName = "TarnService";

class ZuLogger final : public LoggerBase {
 public:
  // Both strings are copied. Never throws: a logger whose settings or file
  // could not be set up prints why on standard output and still accepts all
  // three operations.
  ZuLogger(const std::string& name, const std::string& baseDirectory);
  ~ZuLogger();
  ZuLogger(const ZuLogger&) = delete;
  ZuLogger& operator=(const ZuLogger&) = delete;

  int Log(int level, const std::string& component, const std::string& message) override;
  int Report(int level, const std::string& component, const std::string& message) override;
  int LogAndReport(int level, const std::string& component, const std::string& message) override;

  bool debug() const { return debug_; }
  bool hasFile() const { return hasFile_; }
  // <base>\<name>\log.txt, UTF-8.
  const std::string& filePath() const { return filePath_; }

  static constexpr size_t kMaxFileSize = 0xA00000;
  static constexpr size_t kRotatedFiles = 3;

 private:
  std::string name_;
  std::string baseDirectory_;
  std::string filePath_;
  bool debug_ = false;
  bool hasFile_ = false;
};

}  // namespace zu
