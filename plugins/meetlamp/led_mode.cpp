#include "plugins/meetlamp/led_mode.h"

#include <cstdio>

namespace meetlamp {

LedMode LedModeFromStored(uint32_t stored) { return stored > Off ? Auto : static_cast<LedMode>(stored); }

LedMode NextLedMode(LedMode mode) {
  switch (mode) {
    case Auto:
      return On;
    case On:
      return Off;
    default:
      return Auto;
  }
}

bool LedShouldBeOn(LedMode mode, PresenceState presence) { return mode == On || (mode == Auto && presence == 1); }

std::string AppStateLine(LedMode mode, PresenceState lastApplied, PresenceState next) {
  return "App state: " + std::to_string(mode) + ", presence state: " + std::to_string(lastApplied) + " -> " +
         std::to_string(next);
}

std::string SetLedFailureLine(int32_t setResult, uint32_t setStatus, int32_t getResult, uint32_t getStatus) {
  char line[160];
  std::snprintf(line, sizeof line,
                "Failed to set device status via ACPI method call: ret=%x, value = %x, GetLed: ret=%x, value = %x",
                static_cast<unsigned>(setResult), static_cast<unsigned>(setStatus), static_cast<unsigned>(getResult),
                static_cast<unsigned>(getStatus));
  return line;
}

const char* SessionStateName(int32_t state) {
  switch (state) {
    case 0:
      return "inactive";
    case 1:
      return "active";
    case 2:
      return "expired";
    default:
      return "?????";
  }
}

std::string LowBytes(std::u16string_view id) {
  std::string out;
  out.reserve(id.size());
  for (char16_t unit : id) out.push_back(static_cast<char>(unit & 0xFF));
  return out;
}

}  // namespace meetlamp
