// The 512-byte factory calibration block and its parser.
//
// Fields arrived over the block's versions; a block only has the fields of
// its version, and every field it has must lie inside the bytes actually
// read (a calibration file may be shorter than 512 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "libs/kelvara/cct_params.h"

namespace kelvara {

// Verdict on a loaded block (BiosDataStatus).
enum BlockStatus : int32_t {
  kBlockUsable = 0,
  kBlockMismatch = 1,    // first CRC or EDID identity wrong
  kBlockGreyCrc = 5,     // CRC of the grey levels wrong (version 5 and later)
  kBlockMalformed = 6,   // a field of its version lies outside the data, or a
                         // measurement is not a finite number
  kBlockNoFile = 7,      // calibration file cannot be opened
};

// Offsets.
namespace block {
inline constexpr size_t kVersion = 4;
inline constexpr size_t kEdidChecksum = 5;
inline constexpr size_t kCrc = 6;                 // of bytes 12 .. 59
inline constexpr size_t kFullDrive = 12;          // 12 floats
inline constexpr size_t kValue16 = 60;            // version 2
inline constexpr size_t kEdidIdentity = 66;       // version 3
inline constexpr size_t kReferenceWhite = 71;     // version 4
inline constexpr size_t kTargetLuminance = 79;
inline constexpr size_t kTargetWhite = 83;
inline constexpr size_t kGreyXyz = 103;           // version 5: 45 floats
inline constexpr size_t kGreyCrc = 283;           // of bytes 103 .. 282
inline constexpr size_t kBlack = 285;             // 3 floats
inline constexpr size_t kLutStep = 297;           // version 7
inline constexpr size_t kGammaMethodV6 = 297;     // version 6
inline constexpr size_t kGammaMethodV7 = 298;     // version 7 and later
}  // namespace block

// Drive levels of the grey measurements; level 0 is black.
inline constexpr int kGreySteps = 6;
inline constexpr int kGreyDrive[kGreySteps] = {0, 42, 86, 128, 168, 210};

struct CalibrationBlock {
  uint8_t header[4] = {};
  uint8_t version = 0;
  uint8_t edidChecksum = 0;
  uint8_t crc[2] = {};
  uint32_t value32 = 0;                 // stored big-endian, not used
  double fullDriveXyz[4][3] = {};       // red, green, blue, white
  uint16_t value16 = 0;                 // version 2, big-endian, not used
  bool hasEdidIdentity = false;         // version 3
  uint8_t edidIdentity[4] = {};         // EDID bytes 8 .. 11
  Chromaticity referenceWhite{0.3, 0.315};
  double targetLuminance = 0;
  Chromaticity targetWhite{0, 0};
  double greyXyz[3][kGreySteps][3] = {};  // per channel, per level, XYZ
  uint8_t greyCrc[2] = {};
  uint8_t gammaMethod = 0;              // version 6
  uint8_t gammaSize = 0;
  std::vector<uint8_t> gammaString;     // the size byte and the N bytes after it
};

// Parses the first `size` bytes of `data` (at most 512 are looked at);
// kBlockUsable, or kBlockMalformed when a field of the block's version does
// not fit or a float is not finite. Prints the version (and the gamma string's method and size).
int32_t ParseCalibrationBlock(const uint8_t* data, size_t size, CalibrationBlock* block);

}  // namespace kelvara
