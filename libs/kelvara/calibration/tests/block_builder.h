// Test material for the calibration path: EDIDs, calibration blocks of any
// version with correct CRCs, and a calibration source that answers from
// memory. Shared by the calibration and CCT_Init tests.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "libs/kelvara/calibration/calibration_block.h"
#include "libs/kelvara/calibration/crc16.h"
#include "libs/kelvara/calibration/edid_check.h"
#include "libs/kelvara/calibration/firmware_reply.h"
#include "libs/kelvara/calibration_source.h"

namespace kelvara::testing {

using Bytes = std::vector<uint8_t>;

// A 128-byte EDID base block with the given manufacturer and product bytes
// (EDID bytes 8 .. 11); `serial` varies the rest.
inline Bytes MakeEdid(std::array<uint8_t, 4> identity, uint8_t serial = 1) {
  Bytes edid(128, 0);
  const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::memcpy(edid.data(), header, 8);
  std::memcpy(edid.data() + 8, identity.data(), 4);
  edid[12] = serial;
  edid[16] = static_cast<uint8_t>(10 + serial);  // week
  edid[17] = 30;                                 // year
  edid[18] = 1;
  edid[19] = 4;
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += edid[i];
  edid[127] = static_cast<uint8_t>(256 - sum % 256);
  return edid;
}

inline constexpr std::array<uint8_t, 4> kPanelIdentity = {0x4C, 0x83, 0x41, 0x41};

// A panel measured at 300 nits with gamma 2.2.
struct PanelMeasurement {
  double fullDrive[4][3] = {
      {123.6, 63.8, 5.8}, {107.3, 214.6, 35.8}, {54.1, 21.6, 284.9}, {285.0, 300.0, 326.5}};
  double black[3] = {0.08, 0.09, 0.12};
  Chromaticity referenceWhite{0.3127, 0.3290};
  double targetLuminance = 280.0;
  Chromaticity targetWhite{0.3100, 0.3250};

  // XYZ of channel c at drive level `drive`.
  double Grey(int c, int drive, int component) const {
    return black[component] + fullDrive[c][component] * std::pow(drive / 255.0, 2.2);
  }
};

class CalibrationBlockBuilder {
 public:
  explicit CalibrationBlockBuilder(uint8_t version, const PanelMeasurement& panel = {}) : bytes_(512, 0) {
    const uint8_t header[4] = {'Q', 'C', 'D', 'B'};
    std::memcpy(bytes_.data(), header, 4);
    bytes_[block::kVersion] = version;
    bytes_[8] = 0x12;  // the 32-bit big-endian value
    bytes_[11] = 0x34;
    for (int r = 0; r < 4; ++r)
      for (int k = 0; k < 3; ++k) Float(block::kFullDrive + 4 * (3 * r + k), panel.fullDrive[r][k]);
    if (version >= 2) bytes_[block::kValue16 + 1] = 0x56;
    if (version >= 4) {
      Float(block::kReferenceWhite, panel.referenceWhite.x);
      Float(block::kReferenceWhite + 4, panel.referenceWhite.y);
      Float(block::kTargetLuminance, panel.targetLuminance);
      Float(block::kTargetWhite, panel.targetWhite.x);
      Float(block::kTargetWhite + 4, panel.targetWhite.y);
    }
    if (version >= 5) {
      for (int c = 0; c < 3; ++c)
        for (int level = 1; level < kGreySteps; ++level)
          for (int k = 0; k < 3; ++k)
            Float(block::kGreyXyz + 4 * (15 * c + 3 * (level - 1) + k), panel.Grey(c, kGreyDrive[level], k));
      for (int k = 0; k < 3; ++k) Float(block::kBlack + 4 * k, panel.black[k]);
    }
    if (version >= 7) bytes_[block::kLutStep] = 16;
    if (version >= 6) GammaString(1, {0x04, 0x00, 0x00, 0x00});
    ForEdid(MakeEdid(kPanelIdentity));
  }

  // Identity (version 3 and later) and checksum of this monitor.
  CalibrationBlockBuilder& ForEdid(const Bytes& edid) {
    if (bytes_[block::kVersion] >= 3) std::memcpy(bytes_.data() + block::kEdidIdentity, edid.data() + 8, 4);
    bytes_[block::kEdidChecksum] = EdidCalibrationChecksum(edid);
    return *this;
  }
  CalibrationBlockBuilder& GammaString(uint8_t method, const Bytes& str) {
    const size_t at = bytes_[block::kVersion] == 6 ? block::kGammaMethodV6 : block::kGammaMethodV7;
    bytes_[at] = method;
    // The size byte of the codec string is also the block's "bios size".
    std::copy(str.begin(), str.end(), bytes_.begin() + static_cast<long>(at + 1));
    return *this;
  }
  CalibrationBlockBuilder& LutStep(uint8_t step) {
    bytes_[block::kLutStep] = step;
    return *this;
  }
  CalibrationBlockBuilder& Float(size_t offset, double value) {
    const float f = static_cast<float>(value);
    std::memcpy(bytes_.data() + offset, &f, 4);
    return *this;
  }
  CalibrationBlockBuilder& Byte(size_t offset, uint8_t value) {
    bytes_[offset] = value;
    return *this;
  }

  // The block with both CRCs set.
  Bytes Build() const {
    Bytes b = bytes_;
    const uint16_t crc = Crc16Ibm3740(b.data() + block::kFullDrive, 48);
    b[block::kCrc] = static_cast<uint8_t>(crc);
    b[block::kCrc + 1] = static_cast<uint8_t>(crc >> 8);
    if (b[block::kVersion] >= 5) {
      const uint16_t grey = Crc16Ibm3740(b.data() + block::kGreyXyz, 180);
      b[block::kGreyCrc] = static_cast<uint8_t>(grey);
      b[block::kGreyCrc + 1] = static_cast<uint8_t>(grey >> 8);
    }
    return b;
  }

 private:
  Bytes bytes_;
};

// Answers from memory and records what it was asked.
class FakeCalibrationSource : public CalibrationSource {
 public:
  // Firmware: `firmwareResult` 0 answers `firmwareBlock`; -3 writes the
  // no-data marker; -1 and -2 leave the caller's buffer as it is.
  Bytes firmwareBlock;
  int firmwareResult = 0;
  EdidStore edids;
  std::map<std::string, Bytes> files;

  std::vector<int32_t> methodsAsked;
  std::vector<std::string> filesRead;
  int edidReads = 0;

  FakeCalibrationSource() { edids.slots[0] = MakeEdid(kPanelIdentity); }

  int FirmwareReadBlock(int32_t method, uint8_t* block) override {
    methodsAsked.push_back(method);
    if (firmwareResult == -3) std::memcpy(block, kNoDataMarker, sizeof kNoDataMarker);
    if (firmwareResult != 0) return firmwareResult;
    std::memcpy(block, firmwareBlock.data(), std::min<size_t>(firmwareBlock.size(), kCalibrationBlockSize));
    return 0;
  }
  EdidStore ReadEdids() override {
    ++edidReads;
    return edids;
  }
  bool CanOpenFile(const std::string& path) override { return files.count(path) != 0; }
  bool ReadFile(const std::string& path, size_t limit, std::vector<uint8_t>* data) override {
    filesRead.push_back(path);
    auto it = files.find(path);
    if (it == files.end()) return false;
    data->assign(it->second.begin(), it->second.begin() + static_cast<long>(std::min(limit, it->second.size())));
    return true;
  }
};

}  // namespace kelvara::testing
