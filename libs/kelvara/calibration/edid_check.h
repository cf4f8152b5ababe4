// Whether the calibration block belongs to one of the attached monitors.
#pragma once

#include <cstdint>
#include <vector>

#include "libs/kelvara/calibration/calibration_block.h"
#include "libs/kelvara/calibration_source.h"

namespace kelvara {

// The block's checksum of an EDID: bytes 8, 9, 10, 11, 16, 17 and 127 XORed
// together with 0x55. Needs the 128-byte base block.
uint8_t EdidCalibrationChecksum(const std::vector<uint8_t>& edid);

// Tries the slots in order: a slot passes when its EDID has the block's
// identity (bytes 8 .. 11) and its checksum equals the block's. Blocks
// before version 3 carry no identity, so there the checksum alone decides.
// Empty slots and EDIDs shorter than 128 bytes never pass.
bool EdidCheck(const EdidStore& store, const CalibrationBlock& block);

}  // namespace kelvara
