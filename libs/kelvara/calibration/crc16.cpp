#include "libs/kelvara/calibration/crc16.h"

namespace kelvara {

uint16_t Crc16Ibm3740(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x8000 ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : crc << 1;
  }
  return crc;
}

bool StoredCrcMatches(const uint8_t* data, size_t from, size_t to, size_t at) {
  const uint16_t crc = Crc16Ibm3740(data + from, to - from + 1);
  return data[at] == (crc & 0xFF) && data[at + 1] == crc >> 8;
}

}  // namespace kelvara
