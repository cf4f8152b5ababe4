// CCTAPI_GV's LUT: kept apart from the other modes because it repairs the
// ramp with LutImprove, which may read the calibration block again.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "libs/kelvara/colour/lut_improve.h"
#include "libs/kelvara/colour/lut_ops.h"
#include "libs/kelvara/colour/mode_luts.h"

namespace kelvara {

namespace {

// Linear between warm at 0.5, default at 1.0 and cold at 1.5.
double GainAt(double a, double def, double warm, double cold) {
  if (a == 1) return def;
  if (a < 1) return (def - warm) / (1 - 0.5) * (a - 0.5) + warm;
  return (def - cold) / (1 - 1.5) * (a - 1.5) + cold;
}

}  // namespace

void GetGvModeLut(CctParams& params, const Lut& inputCurve, CalibrationSource& source) {
  std::printf("; QOV: GetGvModeLut()\n");
  const double a = std::isnan(params.interval) ? 1.0 : std::clamp(params.interval, 0.5, 1.5);
  const Lut& lut = SourceLut(params);
  Lut improved;
  for (int c = 0; c < kLutChannels; ++c) {
    const double gain = GainAt(a, params.defGain[c], params.warmGain[c], params.coldGain[c]);
    for (int i = 0; i < kLutEntries; ++i) improved[c][i] = lut[c][LutIndex(std::clamp(i * gain, 0.0, 255.0))];
  }
  LutImprove(params, improved, source);
  for (int c = 0; c < kLutChannels; ++c) {
    for (int i = 0; i < kLutEntries; ++i) {
      const int in8 = std::clamp(static_cast<int>(inputCurve[c][i] / 65280.0 * 255 + 0.5), 0, 255);
      params.outLut[c][i] = improved[c][in8];
    }
  }
}

void VividInputCurve(Lut& curve) {
  for (int i = 0; i < kLutEntries; ++i) {
    const int e = std::clamp(static_cast<int>(VividCurve(i) + 0.5), 0, 255);
    for (int c = 0; c < kLutChannels; ++c) curve[c][i] = static_cast<uint16_t>(e * 256);
  }
}

}  // namespace kelvara
