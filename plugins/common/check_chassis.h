// Attach-time availability check of the hardware plug-ins.
#pragma once

#include <cstdint>

namespace zu {

// True on a laptop chassis (SMBIOS type 9, 10 or 31, lock bit ignored) whose
// ACPI control device answers the status query for `deviceId` with bit 16
// (feature present) set. Any failure on the way answers false.
bool CheckChassis(uint32_t deviceId);

}  // namespace zu
