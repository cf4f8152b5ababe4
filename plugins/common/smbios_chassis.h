// Machine classification from the SMBIOS System Enclosure structure.
//
// The raw table is what GetSystemFirmwareTable('RSMB', 0) returns: an 8-byte
// header whose 32-bit length at offset 4 counts the structure bytes that
// follow it, then the structures. Portable and bounds-checked: a malformed
// table gives "not found", never a read outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zu {

inline constexpr uint8_t kSmbiosSystemEnclosure = 3;
inline constexpr size_t kRawSmbiosHeaderSize = 8;

// The chassis type of the first type-3 structure with its lock bit (0x80)
// masked off; nothing when the header length disagrees with `size`, no such
// structure exists, or the table is malformed.
std::optional<uint8_t> FindChassisType(const uint8_t* rawTable, size_t size);

// ProductLine: 1 laptop (9, 10, 31), 2 desktop (3, 4), 3 all-in-one (13),
// 0 anything else or no chassis type.
enum ProductLine : int { kProductUnknown = 0, kProductLaptop = 1, kProductDesktop = 2, kProductAllInOne = 3 };
ProductLine ProductLineFromChassis(std::optional<uint8_t> chassisType);

inline bool IsLaptopChassis(std::optional<uint8_t> chassisType) {
  return ProductLineFromChassis(chassisType) == kProductLaptop;
}

}  // namespace zu
