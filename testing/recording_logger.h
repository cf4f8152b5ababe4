// An ILogger for tests that keeps every call, for checking exact lines,
// levels and components.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "logging/ilogger.h"

namespace zu::testing {

struct LogCall {
  enum class Op { kLog, kReport } op;
  int level;
  std::string component;
  std::string message;
};

class RecordingLogger final : public LoggerBase {
 public:
  int Log(int level, const std::string& component, const std::string& message) override {
    Add({LogCall::Op::kLog, level, component, message});
    return 0;
  }
  int Report(int level, const std::string& component, const std::string& message) override {
    Add({LogCall::Op::kReport, level, component, message});
    return message.size() > 512 ? -1 : 0;
  }
  int LogAndReport(int level, const std::string& component, const std::string& message) override {
    return Log(level, component, message) | Report(level, component, message);
  }

  std::vector<LogCall> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // Messages passed to Log, in order.
  std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& c : calls_)
      if (c.op == LogCall::Op::kLog) out.push_back(c.message);
    return out;
  }
  bool HasMessage(const std::string& message) const {
    auto m = messages();
    return std::find(m.begin(), m.end(), message) != m.end();
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

 private:
  void Add(LogCall call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  mutable std::mutex mutex_;
  std::vector<LogCall> calls_;
};

}  // namespace zu::testing
