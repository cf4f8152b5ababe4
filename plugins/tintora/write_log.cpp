#include "plugins/tintora/write_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "logging/ilogger.h"

namespace tintora {
namespace {

constexpr const char* kTag = "Tintora";
std::atomic<zu::ILogger*> g_logger{nullptr};

}  // namespace

void SetWriteLogLogger(zu::ILogger* logger) { g_logger.store(logger, std::memory_order_release); }

zu::ILogger* WriteLogLogger() { return g_logger.load(std::memory_order_acquire); }

void WriteLog(int level, const char* format, ...) {
  zu::ILogger* logger = WriteLogLogger();
  if (!logger) return;
  char line[kWriteLogBufferSize];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (written < 0) return;
  switch (level) {
    case kWriteLogInfo:
      logger->Log(zu::kLogInfo, kTag, line);
      break;
    case kWriteLogError:
      logger->Log(zu::kLogError, kTag, line);
      break;
    case kWriteLogKeptWarning:
      logger->Log(zu::kLogWarning, kTag, line);
      break;
    default:  // debug and warning lines stay out of the log
      break;
  }
}

}  // namespace tintora
