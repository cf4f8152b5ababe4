// Any bytes as a calibration file or firmware block: parsing stays inside
// the bytes read, and the import never fails in any other way than by
// rejecting the block. An odd last byte makes the target fix both CRCs
// first, so that mutations also get past the checks.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "libs/kelvara/calibration/calibration_block.h"
#include "libs/kelvara/calibration/calibration_reader.h"
#include "libs/kelvara/calibration/crc16.h"
#include "libs/kelvara/calibration/tests/block_builder.h"
#include "libs/kelvara/codec/debug_trace.h"

void kelvara::DebugTrace(const wchar_t*) {}

namespace {

using namespace kelvara;

void SetCrc(std::vector<uint8_t>& b, size_t from, size_t length, size_t at) {
  if (b.size() < at + 2 || b.size() < from + length) return;
  const uint16_t crc = Crc16Ibm3740(b.data() + from, length);
  b[at] = static_cast<uint8_t>(crc);
  b[at + 1] = static_cast<uint8_t>(crc >> 8);
}

void Run(const uint8_t* data, size_t size) {
  CalibrationBlock parsed;
  ParseCalibrationBlock(data, size, &parsed);

  std::vector<uint8_t> bytes(data, data + std::min<size_t>(size, kCalibrationBlockSize));
  if (size && data[size - 1] & 1) {
    SetCrc(bytes, block::kFullDrive, 48, block::kCrc);
    SetCrc(bytes, block::kGreyXyz, 180, block::kGreyCrc);
  }
  testing::FakeCalibrationSource source;
  // A monitor that matches whatever identity and checksum the block names.
  if (bytes.size() > 69) {
    auto& edid = source.edids.slots[2];
    edid = testing::MakeEdid({bytes[66], bytes[67], bytes[68], bytes[69]});
    edid[127] = static_cast<uint8_t>(bytes[5] ^ edid[8] ^ edid[9] ^ edid[10] ^ edid[11] ^ edid[16] ^ edid[17] ^ 0x55);
  }
  source.files["cal.bin"] = bytes;
  source.firmwareBlock = bytes;
  source.firmwareBlock.resize(kCalibrationBlockSize);

  for (int useFile : {0, 1}) {
    CctParams params{};
    params.useFile = useFile;
    params.dataFile = "cal.bin";
    FactoryTarget target;
    GammaFitInput fit;
    GetBIOSInfo(&params, &target, &fit, source);
    // What an accepted block hands on is usable: finite measurements, and a
    // decoded ramp (version still 6 or more) that runs from 0 to full scale.
    if (params.hasFactoryData) {
      for (int i = 0; i < 12; ++i)
        if (!std::isfinite(params.factoryXyz[i / 3][i % 3])) __builtin_trap();
      for (const auto& channel : fit.xyz)
        for (const auto& level : channel)
          for (double v : level)
            if (!std::isfinite(v)) __builtin_trap();
      if (params.dataVersion >= 6)
        for (const auto& channel : params.gammaLut)
          if (channel[0] != 0 || channel[255] != kLutFullScale) __builtin_trap();
    } else if (params.dataVersion != -1) {
      __builtin_trap();
    }
    uint8_t step;
    GetBIOSData(params, source, &step);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The import prints a lot: keep only the fuzzer's own output.
  std::fflush(stdout);
  const int saved = dup(1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  close(null);
  Run(data, size);
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  return 0;
}
