#include "libs/kelvara/calibration/calibration_block.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "libs/kelvara/calibration_source.h"

namespace kelvara {
namespace {

class BlockCursor {
 public:
  BlockCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Has(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }
  uint8_t Byte(size_t offset) const { return data_[offset]; }
  uint32_t Be32(size_t offset) const {
    return static_cast<uint32_t>(data_[offset]) << 24 | static_cast<uint32_t>(data_[offset + 1]) << 16 |
           static_cast<uint32_t>(data_[offset + 2]) << 8 | data_[offset + 3];
  }
  uint16_t Be16(size_t offset) const { return static_cast<uint16_t>(data_[offset] << 8 | data_[offset + 1]); }
  // Little-endian IEEE single; false when it is not a finite number.
  bool Float(size_t offset, double* value) const {
    const uint32_t bits = static_cast<uint32_t>(data_[offset]) | static_cast<uint32_t>(data_[offset + 1]) << 8 |
                          static_cast<uint32_t>(data_[offset + 2]) << 16 |
                          static_cast<uint32_t>(data_[offset + 3]) << 24;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    *value = f;
    return std::isfinite(f);
  }
  bool Floats(size_t offset, int count, double* values) const {
    for (int i = 0; i < count; ++i)
      if (!Float(offset + 4 * i, &values[i])) return false;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

int32_t TooShort(size_t size, int version) {
  std::printf("Calibration block of %d bytes is too short for version %d\n", static_cast<int>(size), version);
  return kBlockMalformed;
}

int32_t NotANumber(size_t offset) {
  std::printf("Calibration block holds no finite number at byte %d\n", static_cast<int>(offset));
  return kBlockMalformed;
}

}  // namespace

int32_t ParseCalibrationBlock(const uint8_t* data, size_t size, CalibrationBlock* out) {
  size = std::min<size_t>(size, kCalibrationBlockSize);
  const BlockCursor in(data, size);
  CalibrationBlock b;
  if (!in.Has(block::kVersion, 1)) return TooShort(size, -1);
  b.version = in.Byte(block::kVersion);
  std::printf("Parsing version = %d\n", b.version);
  const int v = b.version;

  if (!in.Has(0, block::kValue16)) return TooShort(size, v);
  std::memcpy(b.header, data, sizeof b.header);
  b.edidChecksum = in.Byte(block::kEdidChecksum);
  b.crc[0] = in.Byte(block::kCrc);
  b.crc[1] = in.Byte(block::kCrc + 1);
  b.value32 = in.Be32(8);
  if (!in.Floats(block::kFullDrive, 12, &b.fullDriveXyz[0][0])) return NotANumber(block::kFullDrive);

  if (v >= 2) {
    if (!in.Has(block::kValue16, 2)) return TooShort(size, v);
    b.value16 = in.Be16(block::kValue16);
  }
  if (v >= 3) {
    if (!in.Has(62, 8)) return TooShort(size, v);
    std::memcpy(b.edidIdentity, data + block::kEdidIdentity, sizeof b.edidIdentity);
    b.hasEdidIdentity = true;
  }
  if (v >= 4) {
    if (!in.Has(70, 21)) return TooShort(size, v);
    double white[2], luminance, target[2];
    if (!in.Floats(block::kReferenceWhite, 2, white) || !in.Float(block::kTargetLuminance, &luminance) ||
        !in.Floats(block::kTargetWhite, 2, target))
      return NotANumber(block::kReferenceWhite);
    b.referenceWhite = {white[0], white[1]};
    b.targetLuminance = luminance;
    b.targetWhite = {target[0], target[1]};
  }
  if (v >= 5) {
    if (!in.Has(91, block::kLutStep - 91)) return TooShort(size, v);
    double black[3];
    if (!in.Floats(block::kBlack, 3, black)) return NotANumber(block::kBlack);
    for (int c = 0; c < 3; ++c) {
      std::copy(black, black + 3, b.greyXyz[c][0]);
      const size_t at = block::kGreyXyz + static_cast<size_t>(c) * 5 * 12;
      if (!in.Floats(at, 15, &b.greyXyz[c][1][0])) return NotANumber(at);
    }
    b.greyCrc[0] = in.Byte(block::kGreyCrc);
    b.greyCrc[1] = in.Byte(block::kGreyCrc + 1);
  }
  if (v >= 6) {
    const size_t methodAt = v == 6 ? block::kGammaMethodV6 : block::kGammaMethodV7;
    if (!in.Has(methodAt, 2)) return TooShort(size, v);
    b.gammaMethod = in.Byte(methodAt);
    b.gammaSize = in.Byte(methodAt + 1);
    std::printf("Use Method = %d   bios size = %d\n", b.gammaMethod, b.gammaSize);
    if (!in.Has(methodAt + 1, b.gammaSize + 1u)) return TooShort(size, v);
    b.gammaString.assign(data + methodAt + 1, data + methodAt + 2 + b.gammaSize);
  }
  *out = std::move(b);
  return kBlockUsable;
}

}  // namespace kelvara
