// Factory calibration blocks built byte by byte, and a calibration source
// that serves them the way the firmware device, the monitors and the file
// system would.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "libs/kelvara/calibration_source.h"

namespace kelvara::testing {

// CRC-16/IBM-3740: polynomial 0x1021, initial 0xFFFF, MSB first.
inline uint16_t Crc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : crc << 1;
  }
  return crc;
}

// A monitor's EDID with the given manufacturer and product bytes (8 .. 11).
inline std::vector<uint8_t> MonitorEdid(const uint8_t (&identity)[4]) {
  std::vector<uint8_t> edid(128, 0);
  const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::memcpy(edid.data(), header, 8);
  std::memcpy(edid.data() + 8, identity, 4);
  edid[16] = 0x21;  // week
  edid[17] = 0x1F;  // year
  edid[127] = 0x9C;
  return edid;
}

// The checksum byte a block stores for that EDID.
inline uint8_t EdidChecksum(const std::vector<uint8_t>& e) {
  return e[8] ^ e[9] ^ e[10] ^ e[11] ^ e[16] ^ e[17] ^ e[127] ^ 0x55;
}

inline constexpr uint8_t kPanelIdentity[4] = {0x4C, 0x83, 0x41, 0x42};

// Makes any 512 bytes pass the block's checks for the default panel: the
// EDID identity and checksum, and both CRCs.
inline void SealBlock(std::vector<uint8_t>& b) {
  b.resize(kCalibrationBlockSize);
  b[5] = EdidChecksum(MonitorEdid(kPanelIdentity));
  std::memcpy(&b[66], kPanelIdentity, 4);
  const uint16_t crc = Crc16(&b[12], 48);
  b[6] = crc & 0xFF;
  b[7] = crc >> 8;
  const uint16_t crc2 = Crc16(&b[103], 180);
  b[283] = crc2 & 0xFF;
  b[284] = crc2 >> 8;
}

class CalibrationBlock {
 public:
  explicit CalibrationBlock(int version) {
    bytes_.assign(kCalibrationBlockSize, 0);
    const uint8_t header[4] = {'C', 'C', 'T', 'B'};
    std::memcpy(&bytes_[0], header, 4);
    bytes_[4] = static_cast<uint8_t>(version);
    bytes_[5] = EdidChecksum(MonitorEdid(kPanelIdentity));
    std::memcpy(&bytes_[66], kPanelIdentity, 4);
  }

  int version() const { return bytes_[4]; }

  // XYZ of red, green, blue, white at full drive.
  CalibrationBlock& FullDrive(const double (&xyz)[4][3]) {
    for (int p = 0; p < 4; ++p) {
      for (int k = 0; k < 3; ++k) Float(12 + 4 * (3 * p + k), xyz[p][k]);
    }
    return *this;
  }
  // Version 4: target luminance and white.
  CalibrationBlock& Target(double luminance, double x, double y) {
    Float(71, 0.3);
    Float(75, 0.315);
    Float(79, luminance);
    Float(83, x);
    Float(87, y);
    return *this;
  }
  // Version 5: XYZ of each channel at 42, 86, 128, 168, 210, and black.
  CalibrationBlock& GreyLevels(const double (&xyz)[3][5][3], const double (&black)[3]) {
    for (int c = 0; c < 3; ++c) {
      for (int n = 0; n < 5; ++n) {
        for (int k = 0; k < 3; ++k) Float(103 + 4 * (15 * c + 3 * n + k), xyz[c][n][k]);
      }
    }
    for (int k = 0; k < 3; ++k) Float(285 + 4 * k, black[k]);
    return *this;
  }
  // Version 6 and 7: the gamma string (starting with its size byte) and,
  // for 7, the straight-line step.
  CalibrationBlock& GammaString(uint8_t method, const std::vector<uint8_t>& text, uint8_t step = 0) {
    int at = 297;
    if (version() >= 7) bytes_[at++] = step;
    bytes_[at++] = method;
    std::memcpy(&bytes_[at], text.data(), text.size());
    return *this;
  }

  // Writes both CRCs; call after the last field.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b = bytes_;
    SealBlock(b);
    return b;
  }

 private:
  void Float(int offset, double value) {
    const float f = static_cast<float>(value);
    uint8_t raw[4];
    std::memcpy(raw, &f, 4);  // little-endian host
    std::memcpy(&bytes_[offset], raw, 4);
  }

  std::vector<uint8_t> bytes_;
};

// Serves one firmware block (or none), the monitors' EDIDs and files.
class FakeCalibrationSource : public CalibrationSource {
 public:
  FakeCalibrationSource() { edids_.slots[0] = MonitorEdid(kPanelIdentity); }

  void ServeFirmware(std::vector<uint8_t> block) { firmware_ = std::move(block); }
  void ServeFile(const std::string& path, std::vector<uint8_t> data) { files_[path] = std::move(data); }
  void RemoveFile(const std::string& path) { files_.erase(path); }
  void SetEdids(EdidStore store) { edids_ = std::move(store); }
  int firmwareReads() const { return firmwareReads_; }

  int FirmwareReadBlock(int32_t, uint8_t* block) override {
    ++firmwareReads_;
    if (firmware_.empty()) {
      const uint8_t marker[8] = {0x55, 0x55, 0xAA, 0xAA, 0, 0, 0, 0};
      std::memcpy(block, marker, 8);
      return -3;
    }
    std::memcpy(block, firmware_.data(), kCalibrationBlockSize);
    return 0;
  }
  EdidStore ReadEdids() override { return edids_; }
  bool CanOpenFile(const std::string& path) override { return files_.count(path) != 0; }
  bool ReadFile(const std::string& path, size_t limit, std::vector<uint8_t>* data) override {
    auto it = files_.find(path);
    if (it == files_.end()) return false;
    data->assign(it->second.begin(), it->second.begin() + std::min(limit, it->second.size()));
    return true;
  }

 private:
  std::vector<uint8_t> firmware_;
  EdidStore edids_;
  std::map<std::string, std::vector<uint8_t>> files_;
  int firmwareReads_ = 0;
};

}  // namespace kelvara::testing
