// The "SCDG" exchange with the ACPI control device, apart from the device:
// the request for one data selector and the reading of the answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvara {

// Written at the start of the caller's block when the firmware has no data.
inline constexpr uint8_t kNoDataMarker[8] = {0x55, 0x55, 0xAA, 0xAA, 0x00, 0x00, 0x00, 0x00};

// Selector 2 for a non-zero method, else 1.
uint32_t CalibrationSelector(int32_t method);

// Tag, length 516, selector, 0, zero padding: 524 bytes.
std::vector<uint8_t> BuildFirmwareBlockRequest(int32_t method);

// Reads `returned` bytes of answer: a non-zero count word means data, and the
// 512 bytes after it are copied into `block` (result 0); a zero count, or an
// answer too short to hold one, writes the marker (result -3).
int InterpretFirmwareBlockReply(const uint8_t* reply, size_t returned, uint8_t* block);

}  // namespace kelvara
