// CRC-16/IBM-3740 (polynomial 0x1021, initial 0xFFFF, most significant bit
// first, no reflection, no final XOR; "123456789" gives 0x29B1), as the
// calibration block stores it: low byte first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvara {

uint16_t Crc16Ibm3740(const uint8_t* data, size_t size);

// True when the CRC of data[from, to] (inclusive) is stored at data[at]
// (low byte) and data[at + 1] (high byte).
bool StoredCrcMatches(const uint8_t* data, size_t from, size_t to, size_t at);

}  // namespace kelvara
