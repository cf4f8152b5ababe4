#include "plugins/common/smbios_chassis.h"

namespace zu {
namespace {

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

constexpr size_t kStructureHeaderSize = 4;  // type, length, handle
constexpr size_t kChassisTypeOffset = 5;

}  // namespace

std::optional<uint8_t> FindChassisType(const uint8_t* rawTable, size_t size) {
  if (!rawTable || size < kRawSmbiosHeaderSize) return std::nullopt;
  const uint32_t length = ReadLe32(rawTable + 4);
  if (length != size - kRawSmbiosHeaderSize) return std::nullopt;

  const uint8_t* table = rawTable + kRawSmbiosHeaderSize;
  size_t offset = 0;
  while (offset + kStructureHeaderSize <= length) {
    const uint8_t type = table[offset];
    const uint8_t formatted = table[offset + 1];
    if (formatted < kStructureHeaderSize || offset + formatted > length) return std::nullopt;
    if (type == kSmbiosSystemEnclosure) {
      if (formatted <= kChassisTypeOffset) return std::nullopt;
      return static_cast<uint8_t>(table[offset + kChassisTypeOffset] & 0x7F);
    }
    // The string set ends with two consecutive zero bytes.
    size_t p = offset + formatted;
    while (p + 1 < length && !(table[p] == 0 && table[p + 1] == 0)) ++p;
    if (p + 1 >= length) return std::nullopt;
    offset = p + 2;
  }
  return std::nullopt;
}

ProductLine ProductLineFromChassis(std::optional<uint8_t> chassisType) {
  if (!chassisType) return kProductUnknown;
  switch (*chassisType & 0x7F) {
    case 9:
    case 10:
    case 31: return kProductLaptop;
    case 3:
    case 4: return kProductDesktop;
    case 13: return kProductAllInOne;
    default: return kProductUnknown;
  }
}

}  // namespace zu
