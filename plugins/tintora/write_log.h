// The calibration's log function: printf-style lines into the host logger.
//
// Information and error lines reach the logger (as its levels 0 and 2, with
// the tag "Tintora"); debug and warning lines are formatted and dropped,
// except the kept warnings (level 1).
// Before a logger is set nothing is written.
#pragma once

#include <cstdio>  // the C library's printf flavour, for the format check

namespace zu {
class ILogger;
}

namespace tintora {

enum WriteLogLevel : int {
  kWriteLogDebug = 0,
  kWriteLogInfo = 1,
  kWriteLogWarning = 2,
  kWriteLogError = 3,
  // A warning that does reach the logger (its warning level), for a fault
  // the calibration steps over; plain warnings stay discarded traces.
  kWriteLogKeptWarning = 4,
};

// Longest line, terminating zero included; longer lines are cut.
inline constexpr int kWriteLogBufferSize = 512;

// The logger WriteLog forwards to (null: none). Not owned.
void SetWriteLogLogger(zu::ILogger* logger);
zu::ILogger* WriteLogLogger();

#if defined(__MINGW_PRINTF_FORMAT)
#define TINTORA_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define TINTORA_PRINTF_FORMAT printf
#endif

void WriteLog(int level, const char* format, ...) __attribute__((format(TINTORA_PRINTF_FORMAT, 2, 3)));

}  // namespace tintora

// Most lines name the step that logs and the logging site:
// "Tintora [parseICC][123] text".
#define TINTORA_LOG(level, step, format, ...) \
  ::tintora::WriteLog(level, "Tintora [%s][%d] " format, step, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
