// The conference LED's modes, the rule that switches it and the texts the
// plug-in logs about it. Portable: built and tested natively too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace meetlamp {

// The user's choice, stored as "mode" in HKCU\...\TarnService\ConfigLED.
enum LedMode : int32_t {
  Auto = 0,  // on while a meeting is detected
  On = 1,    // always on
  Off = 2,   // always off
};

// 0 inactive, 1 active: whether any tracked capture session is active.
using PresenceState = int32_t;

// The mode a stored value stands for: anything above 2 is Auto.
LedMode LedModeFromStored(uint32_t stored);

// The hot key's cycle: Auto -> On -> Off -> Auto.
LedMode NextLedMode(LedMode mode);

// On in mode On, or in mode Auto while presence is 1; off otherwise.
bool LedShouldBeOn(LedMode mode, PresenceState presence);

// "App state: <mode>, presence state: <last> -> <new>".
std::string AppStateLine(LedMode mode, PresenceState lastApplied, PresenceState next);

// The one warning of a failed LED switch: the set call's result and status
// word, then the status query's, in lower-case hexadecimal.
std::string SetLedFailureLine(int32_t setResult, uint32_t setStatus, int32_t getResult, uint32_t getStatus);

// Core Audio's session states as logged: "inactive", "active", "expired",
// and "?????" for anything else.
const char* SessionStateName(int32_t state);

// Where the braced GUID starts in an endpoint id ("{0.0.1.00000000}.{...}").
inline constexpr size_t kEndpointGuidOffset = 17;

// An endpoint id as the log shows it: each UTF-16 unit reduced to its low
// byte.
std::string LowBytes(std::u16string_view id);

}  // namespace meetlamp
