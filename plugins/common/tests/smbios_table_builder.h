// Builds raw SMBIOS tables (as GetSystemFirmwareTable 'RSMB' returns them)
// for tests: an 8-byte header, then structures with their string sets.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace zu::testing {

class SmbiosTableBuilder {
 public:
  // Adds a structure: type, formatted area (type and length bytes are filled
  // in; `formattedLength` covers the whole area) and its strings.
  SmbiosTableBuilder& Add(uint8_t type, uint8_t formattedLength, std::initializer_list<uint8_t> body = {},
                          std::initializer_list<std::string> strings = {}) {
    std::vector<uint8_t> s(formattedLength, 0);
    if (formattedLength > 0) s[0] = type;
    if (formattedLength > 1) s[1] = formattedLength;
    size_t i = 4;
    for (uint8_t b : body)
      if (i < s.size()) s[i++] = b;
    for (const auto& str : strings) {
      s.insert(s.end(), str.begin(), str.end());
      s.push_back(0);
    }
    if (strings.size() == 0) s.push_back(0);
    s.push_back(0);
    data_.insert(data_.end(), s.begin(), s.end());
    return *this;
  }
  // A System Enclosure structure (type 3) with the given chassis byte.
  SmbiosTableBuilder& Enclosure(uint8_t chassis) {
    return Add(3, 0x15, {/*manufacturer*/ 1, chassis, 0, 0, 0}, {"Orvale"});
  }
  SmbiosTableBuilder& Bios() { return Add(0, 0x18, {1, 2, 0, 0}, {"Firmware Inc.", "1.02"}); }
  SmbiosTableBuilder& System() { return Add(1, 0x1B, {1, 2, 3}, {"Orvale", "Book 14", "0001"}); }
  SmbiosTableBuilder& End() { return Add(127, 4); }
  SmbiosTableBuilder& Raw(std::initializer_list<uint8_t> bytes) {
    data_.insert(data_.end(), bytes);
    return *this;
  }

  // Header + structures; `lengthAdjust` makes the header's length disagree.
  std::vector<uint8_t> Build(int lengthAdjust = 0) const {
    std::vector<uint8_t> raw = {0, 3, 4, 0};
    const auto length = static_cast<uint32_t>(data_.size() + lengthAdjust);
    for (int i = 0; i < 4; ++i) raw.push_back(static_cast<uint8_t>(length >> (8 * i)));
    raw.insert(raw.end(), data_.begin(), data_.end());
    return raw;
  }

 private:
  std::vector<uint8_t> data_;
};

}  // namespace zu::testing
