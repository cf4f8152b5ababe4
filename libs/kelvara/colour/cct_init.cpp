#include "libs/kelvara/colour/cct_init.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "libs/kelvara/codec/debug_trace.h"
#include "libs/kelvara/colour/gain_solver.h"
#include "libs/kelvara/colour/gamma_fit.h"
#include "libs/kelvara/colour/lut_ops.h"
#include "libs/kelvara/colour/mode_luts.h"

namespace kelvara {

namespace {

constexpr int kWhite = 3;
constexpr int kWarmCold = 1000;  // kelvin either side of the default white

GainRequest RequestOn(const double (&xyz)[4][3]) {
  GainRequest request;
  std::memcpy(request.red, xyz[0], sizeof request.red);
  std::memcpy(request.green, xyz[1], sizeof request.green);
  std::memcpy(request.blue, xyz[2], sizeof request.blue);
  std::memcpy(request.white, xyz[3], sizeof request.white);
  request.LocusType = kLocusOffsetDaylight;
  request.LuminanceRule = kLuminanceNone;
  return request;
}

GainRequest ChromaticityRequest(const double (&xyz)[4][3], Chromaticity target) {
  GainRequest request = RequestOn(xyz);
  request.TargetMode = kTargetChromaticity;
  request.targetX = target.x;
  request.targetY = target.y;
  return request;
}

// One solve with gamma 2.2; the gains go to `gains`.
void SolveInto(GainSolver& solver, GainRequest& request, double (&gains)[3], const char* label) {
  solver.gamma = 2.2;
  Solve(solver, &request);
  std::memcpy(gains, request.gains, sizeof gains);
  if (label != nullptr) {
    std::printf("; QOV: %s Gain E(%d) W(%d)\n", label, static_cast<int>(request.error),
                static_cast<int>(request.warnings));
  }
}

void SolveReadingGains(CctParams& params, const double (&xyz)[4][3], Chromaticity white) {
  const ReadingPair targets = ReadingTargets(white);
  GainSolver solver;
  GainRequest weak = ChromaticityRequest(xyz, targets.weak);
  SolveInto(solver, weak, params.readWeakGain, "RdW");
  GainRequest strong = ChromaticityRequest(xyz, targets.strong);
  SolveInto(solver, strong, params.readStrongGain, "RdS");
}

void FitFactoryRamp(CctParams& params, const GammaFitInput& fit) {
  Lut8 levels;
  if (GammaFit(fit, levels) != 0) {
    params.hasGammaLut = 0;
    return;
  }
  for (int c = 0; c < kLutChannels; ++c) {
    for (int i = 0; i < kLutEntries; ++i) params.gammaLut[c][i] = static_cast<uint16_t>(levels[i][c] * 256);
  }
}

void InitFromFactoryData(CctParams& params, const FactoryTarget& target, const GammaFitInput& fit) {
  DebugTrace(L"QOV: Has Factory Calibration Data\n");
  GainSolver solver;
  GainRequest def = RequestOn(params.factoryXyz);
  def.TargetMode = kTargetChromaticity;
  if (params.dataVersion >= 4) {
    def.targetX = target.factoryWhite.x;
    def.targetY = target.factoryWhite.y;
    def.LuminanceRule = kLuminanceAbsoluteDrop;
    def.drop = params.factoryXyz[kWhite][1] - target.targetLuminance;
  } else {
    def.targetX = ColorConstants{}.defaultWhite.x;
    def.targetY = ColorConstants{}.defaultWhite.y;
    def.LuminanceRule = kLuminancePerceptualStep;
  }
  SolveInto(solver, def, params.defGain, "DEF");
  const int32_t defaultCct = solver.targetCct;
  const Chromaticity achieved{solver.targetX, solver.targetY};

  GainRequest warm = RequestOn(params.factoryXyz);
  warm.TargetMode = kTargetAbsoluteCct;
  warm.absoluteCct = defaultCct - kWarmCold;
  SolveInto(solver, warm, params.warmGain, "Warm");
  GainRequest cold = RequestOn(params.factoryXyz);
  cold.TargetMode = kTargetAbsoluteCct;
  cold.absoluteCct = defaultCct + kWarmCold;
  SolveInto(solver, cold, params.coldGain, "Cold");

  SolveReadingGains(params, params.factoryXyz, achieved);

  if (params.dataVersion == 5 && params.hasGammaLut == 1) FitFactoryRamp(params, fit);
}

void InitFromNativeData(CctParams& params) {
  DebugTrace(L"QOV: No Factory Calibration Data\n");
  GainSolver solver;
  DebugTrace(L"QOV: Calculate Warm gain\n");
  GainRequest warm = RequestOn(params.nativeXyz);
  warm.TargetMode = kTargetCctOffset;
  warm.cctOffset = -kWarmCold;
  SolveInto(solver, warm, params.warmGain, nullptr);
  DebugTrace(L"QOV: Calculate Cold gain\n");
  GainRequest cold = RequestOn(params.nativeXyz);
  cold.TargetMode = kTargetCctOffset;
  cold.cctOffset = kWarmCold;
  SolveInto(solver, cold, params.coldGain, nullptr);
  params.defGain[0] = params.defGain[1] = params.defGain[2] = 1.0;

  DebugTrace(L"QOV: Calculate Read mode target\n");
  const double* w = params.nativeXyz[kWhite];
  const double sum = w[0] + w[1] + w[2];
  DebugTrace(L"QOV: Calculate Read mode gain\n");
  SolveReadingGains(params, params.nativeXyz, {w[0] / sum, w[1] / sum});
}

}  // namespace

bool ValidNativeXyz(const double (&xyz)[4][3]) {
  for (int p = 0; p < 4; ++p) {
    const double x = xyz[p][0], y = xyz[p][1], z = xyz[p][2];
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return false;
    if (!(x > 0 && y > 0 && z >= 0)) return false;
    if ((p == 2 || p == kWhite) && !(z > 0)) return false;
  }
  return true;
}

int32_t CCT_Init(CctParams& params, CalibrationSource& source) {
  CCTAPI_ERRORCODE = kCctOk;
  DebugTrace(L"QOV: Enter CCT_Init()\n");
  FactoryTarget target;
  GammaFitInput fit;
  params.hasFactoryData = 0;
  params.hasGammaLut = 0;
  for (int c = 0; c < kLutChannels; ++c) {
    for (int i = 0; i < kLutEntries; ++i) params.gammaLut[c][i] = static_cast<uint16_t>(i * 256);
  }
  if (!ValidNativeXyz(params.nativeXyz)) {
    DebugTrace(L"QOV: Invalid nativeXyz\n");
    return kCctBadNativeXyz;
  }
  if (params.method != 0 && params.method != 1) {
    DebugTrace(L"QOV: Invalid method\n");
    return kCctBadMethod;
  }

  GetBIOSInfo(&params, &target, &fit, source);
  std::printf("CCTAPI_ERRORCODE = %d\n", CCTAPI_ERRORCODE);

  if (params.hasFactoryData == 1) {
    InitFromFactoryData(params, target, fit);
  } else {
    InitFromNativeData(params);
  }

  DebugTrace(L"QOV: Check gain\n");
  const Lut& lut = SourceLut(params);
  CheckGain(params.warmGain, lut, params.lutApiType);
  CheckGain(params.coldGain, lut, params.lutApiType);
  CheckGain(params.defGain, lut, params.lutApiType);
  CheckGain(params.readWeakGain, lut, params.lutApiType);
  CheckGain(params.readStrongGain, lut, params.lutApiType);

  DebugTrace(L"QOV: Exit  CCT_Init()\n");
  return CCTAPI_ERRORCODE;
}

}  // namespace kelvara
