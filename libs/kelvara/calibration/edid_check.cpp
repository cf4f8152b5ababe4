#include "libs/kelvara/calibration/edid_check.h"

#include <cstdio>
#include <cstring>

namespace kelvara {
namespace {

constexpr size_t kEdidBaseSize = 128;

}  // namespace

uint8_t EdidCalibrationChecksum(const std::vector<uint8_t>& edid) {
  return static_cast<uint8_t>(edid[8] ^ edid[9] ^ edid[10] ^ edid[11] ^ edid[16] ^ edid[17] ^ edid[127] ^ 0x55);
}

bool EdidCheck(const EdidStore& store, const CalibrationBlock& block) {
  for (const auto& edid : store.slots) {
    if (edid.size() < kEdidBaseSize) continue;
    if (block.hasEdidIdentity && std::memcmp(edid.data() + 8, block.edidIdentity, 4) != 0) continue;
    const uint8_t c = EdidCalibrationChecksum(edid);
    std::printf("; QOV: this->EDID_Checksum= %d %d\n", block.edidChecksum, c);
    if (c == block.edidChecksum) {
      std::printf("; QOV: EDID =  %x %x %x %x\n", edid[9], edid[8], edid[11], edid[10]);
      return true;
    }
  }
  return false;
}

}  // namespace kelvara
