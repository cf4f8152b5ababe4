#include "libs/kelvara/colour/lut_improve.h"

#include <cstdio>

#include "libs/kelvara/codec/debug_trace.h"
#include "libs/kelvara/colour/lut_ops.h"

namespace kelvara {

namespace {

constexpr int kInterpStepOffset = 297;  // byte of the calibration block

int Improve(const CctParams& params, Lut& lut, CalibrationSource& source) {
  Lut8 input;
  Lut8 output;
  for (int i = 0; i < kLutEntries; ++i) {
    for (int c = 0; c < kLutChannels; ++c) input[i][c] = output[i][c] = lut[c][i] >> 8;
  }
  if (params.dataVersion == 7) {
    DebugTrace(L"QOV: Enter GetBIOSData()\n");
    uint8_t step = 0;
    if (!GetBIOSData(params, source, &step)) {
      std::printf("GetBIOSData() failed!!!\n");
      return 0;
    }
    std::printf("; QOV: Get bios[%d]: %d\n ", kInterpStepOffset, step);
    if (LutLinInterp8Bit(step, input, output) != 0) {
      std::printf("LutLinInterp8Bit() failed!!!\n");
      return 0;
    }
  } else if (LutSmooth8Bit(input, output) != 0) {
    std::printf("; QOV: LutSmooth8Bit() failed!!!\n");
    return 0;
  }
  for (int c = 0; c < kLutChannels; ++c) {
    for (int i = 0; i < kLutEntries; ++i) lut[c][i] = static_cast<uint16_t>(output[i][c] * 256);
  }
  return 0;
}

}  // namespace

int LutImprove(const CctParams& params, Lut& lut, CalibrationSource& source) {
  DebugTrace(L"; QOV: ##Enter LutImprove()##\n");
  const int result = Improve(params, lut, source);
  DebugTrace(L"; QOV: ##Exit  LutImprove()##\n");
  return result;
}

}  // namespace kelvara
