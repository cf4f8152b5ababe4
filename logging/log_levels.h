// How a level code maps onto the log file and the Windows event log.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zu {

enum class FileLevel { kNone, kDebug, kInfo, kWarning, kError };

// Event-log record types as ReportEventW takes them.
enum EventType : uint16_t {
  kEventSuccess = 0x0000,
  kEventError = 0x0001,
  kEventWarning = 0x0002,
  kEventInformation = 0x0004,
};

// Event identifiers: severity bits, facility 2, codes 1002, 1004, 1001.
inline constexpr uint32_t kEventIdInformation = 0x400203EA;
inline constexpr uint32_t kEventIdWarning = 0x800203EC;
inline constexpr uint32_t kEventIdError = 0xC00203E9;

struct LevelMapping {
  FileLevel file;
  uint16_t eventType;
  uint32_t eventId;
};

LevelMapping MapLevel(int level);

// Messages longer than this are written to the file but never reported.
inline constexpr size_t kMaxReportedMessage = 512;
// The formatted event string is cut to this many wide characters, terminator included.
inline constexpr size_t kEventTextBuffer = 512;

}  // namespace zu
