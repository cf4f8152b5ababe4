// The machine's chassis type, read from the raw SMBIOS firmware table.
#pragma once

#include <cstdint>
#include <optional>

namespace zu {

// Reads the raw SMBIOS table ('RSMB', id 0) into a process-heap buffer: a
// size query, then the read, which must return exactly that size. Nothing
// when the table is unreadable or fails the checks of FindChassisType.
std::optional<uint8_t> ReadSystemChassisType();

}  // namespace zu
