// The privacy panel's modes and how they map onto the firmware device.
// Portable: built and tested natively too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veilpane {

// Mode 0: the privacy view is on; mode 1: it is off. Nothing else occurs.
inline constexpr int32_t kModeOn = 0;
inline constexpr int32_t kModeOff = 1;

// The value the panel device (0x0005001B) is set to: the inverse of the
// mode. Nothing for a mode other than 0 and 1.
std::optional<uint32_t> DeviceValueForMode(int32_t mode);

// The mode a press of the hot key switches to.
inline int32_t ToggledMode(int32_t mode) { return mode == kModeOn ? kModeOff : kModeOn; }

// The warning written when the panel could not be switched: the set
// request's result and answer, then the status request's result and the
// status word, all in lower-case hexadecimal.
std::string SetFailureLine(int32_t setResult, uint32_t setAnswer, int32_t statusResult, uint32_t status);

}  // namespace veilpane
