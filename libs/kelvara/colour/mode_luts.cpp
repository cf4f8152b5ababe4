#include "libs/kelvara/colour/mode_luts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "libs/kelvara/colour/gain_solver.h"
#include "libs/kelvara/colour/lut_ops.h"

namespace kelvara {

const Lut& SourceLut(const CctParams& params) {
  return params.hasFactoryData == 1 && params.hasGammaLut == 1 ? params.gammaLut : params.baseLut;
}

ReadingPair ReadingTargets(Chromaticity w) {
  const ColorConstants constants;
  const Chromaticity p = constants.readingNear;
  const Chromaticity q = constants.readingFar;
  const Chromaticity d{q.x - p.x, q.y - p.y};
  const double length2 = d.x * d.x + d.y * d.y;
  const double length = std::sqrt(length2);
  const Chromaticity u{d.x / length, d.y / length};
  if (w.x < p.x - 0.005) return {p, q};
  const double s = (w.x - p.x) * d.x + (w.y - p.y) * d.y;
  Chromaticity o = p;
  if (s >= 0) {
    o = {p.x + s / length2 * d.x, p.y + s / length2 * d.y};
  } else if (std::hypot(w.x - p.x, w.y - p.y) >= 0.005) {
    return {p, q};
  }
  const Chromaticity weak{o.x + 0.005 * u.x, o.y + 0.005 * u.y};
  return {weak, {weak.x + d.x, weak.y + d.y}};
}

void BlendGains(const GainTriple& a, const GainTriple& b, double f, GainTriple& result) {
  for (int c = 0; c < 3; ++c) result[c] = (1 - f) * a[c] + f * b[c];
}

int ColourTemperatureLut(CctParams& params) {
  const double a = params.interval;
  if (a > 1.5 || a < 0.5) return -1;
  const double b = 2 * (a - 1);
  GainTriple gains;
  if (b > 0) {
    BlendGains(params.defGain, params.coldGain, b, gains);
  } else if (b < 0) {
    BlendGains(params.defGain, params.warmGain, -b, gains);
  } else if (params.hasFactoryData != 1) {
    std::memcpy(params.outLut, params.baseLut, sizeof params.outLut);
    return 0;
  } else {
    std::memcpy(gains, params.defGain, sizeof gains);
  }
  ApplyGains(SourceLut(params), gains, params.outLut);
  return 0;
}

void TheaterLut(CctParams& params) {
  const auto& xyz = params.hasFactoryData == 1 ? params.factoryXyz : params.nativeXyz;
  GainRequest request;
  std::memcpy(request.red, xyz[0], sizeof request.red);
  std::memcpy(request.green, xyz[1], sizeof request.green);
  std::memcpy(request.blue, xyz[2], sizeof request.blue);
  std::memcpy(request.white, xyz[3], sizeof request.white);
  request.TargetMode = kTargetChromaticity;
  request.targetX = ColorConstants{}.theater.x;
  request.targetY = ColorConstants{}.theater.y;
  request.LocusType = kLocusOffsetDaylight;
  request.LuminanceRule = kLuminanceNone;
  GainSolver solver;
  solver.gamma = 2.2;
  Solve(solver, &request);

  GainTriple gains;
  for (int c = 0; c < 3; ++c) gains[c] = request.gains[c] * 1.05;
  const Lut& source = SourceLut(params);
  CheckGain(gains, source, params.lutApiType);
  ApplyGains(source, gains, params.outLut);  // indices above 255 use entry 255
}

double VividCurve(int i) {
  if (i < 50) return i;
  const double x = i;
  return 0.00309841269841269 * x * x - 1.01587301587301e-5 * x * x * x + 0.87047619047619 * x;
}

void VividLut(CctParams& params) {
  const Lut& source = SourceLut(params);
  Lut result;
  for (int c = 0; c < kLutChannels; ++c) {
    for (int i = 0; i < kLutEntries; ++i) {
      const double t = std::clamp(VividCurve(i) * params.defGain[c], 0.0, 255.0);
      result[c][i] = source[c][LutIndex(t)];
    }
  }
  std::memcpy(params.outLut, result, sizeof result);
}

uint32_t SteppedReadingLut(CctParams& params) {
  // A single level (or a step that is no number) is the weak reading mode.
  const double span = params.RDLevels - 1;
  const double f = span == 0 ? 0 : params.RDIndex / span;
  uint32_t warnings = 0;
  GainTriple gains;
  if (f == 0 || std::isnan(f)) {
    std::memcpy(gains, params.readWeakGain, sizeof gains);
  } else if (f == 1) {
    std::memcpy(gains, params.readStrongGain, sizeof gains);
  } else {
    const double clamped = std::clamp(f, 0.0, 1.0);
    if (clamped != f) warnings |= kSolverFactorClamped;
    BlendGains(params.readWeakGain, params.readStrongGain, clamped, gains);
  }
  ApplyGains(SourceLut(params), gains, params.outLut);
  return warnings;
}

}  // namespace kelvara
