#include "libs/kelvara/colour/gain_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "libs/kelvara/colour/lut_ops.h"

namespace kelvara {

namespace {

constexpr int kRed = 0, kGreen = 1, kBlue = 2, kWhite = 3;
constexpr int kStepKelvin = 50;
constexpr int kMaxSteps = 100;
constexpr int kMaxBisections = 1000;
constexpr double kCloseEnough = 0.0005;  // xy distance

double Distance(Chromaticity a, Chromaticity b) { return std::hypot(a.x - b.x, a.y - b.y); }

Chromaticity PointOf(const GainSolver& solver, int which) { return {solver.xyY[which][0], solver.xyY[which][1]}; }

bool AllFinite(const GainRequest& r) {
  for (const double* t : {r.red, r.green, r.blue, r.white}) {
    for (int i = 0; i < 3; ++i) {
      if (!std::isfinite(t[i])) return false;
    }
  }
  return true;
}

// Gains that reach the target with the most luminance; updates Ymax and the
// luminance change.
void ComputeGains(GainSolver& solver, GainRequest& request, Chromaticity target) {
  double a[3], b[3], w[3];
  for (int p = 0; p < 3; ++p) {
    a[p] = (target.x - solver.xyY[p][0]) / solver.xyY[p][1];
    b[p] = (target.y - solver.xyY[p][1]) / solver.xyY[p][1];
  }
  w[kRed] = a[kGreen] * b[kBlue] - a[kBlue] * b[kGreen];
  w[kGreen] = a[kBlue] * b[kRed] - a[kRed] * b[kBlue];
  w[kBlue] = a[kRed] * b[kGreen] - a[kGreen] * b[kRed];
  const double sum = w[0] + w[1] + w[2];
  int limiting = kRed;
  double total = 0;
  for (int p = 0; p < 3; ++p) {
    w[p] /= sum;
    const double candidate = solver.xyY[p][2] / w[p];
    if (p == kRed || candidate < total) {
      limiting = p;
      total = candidate;
    }
  }
  solver.Ymax = 0;
  for (int p = 0; p < 3; ++p) {
    const double luminance = total * w[p];
    request.gains[p] = std::pow(luminance / solver.xyY[p][2], 1 / solver.gamma);
    solver.Ymax += luminance;
  }
  request.gains[limiting] = 1.0;
  solver.luminanceChange = (solver.Ymax - solver.Yw) / solver.Yw * 100;
}

void FinishWithLut(GainRequest& request) {
  if (request.sourceLut != nullptr && request.destLut != nullptr) {
    ApplyGains(*request.sourceLut, request.gains, *request.destLut);
  }
}

void Fallback(GainSolver& solver, GainRequest& request) {
  solver.flags |= kSolverFallback;
  solver.Yw = solver.Ymax = request.white[1];
  solver.luminanceChange = 0;
  solver.floor = 0;
  const Chromaticity white = ChromaticityOf(request.white, solver);
  solver.targetX = white.x;
  solver.targetY = white.y;
  solver.targetCct = EstimateCct(white, solver);
  request.gains[0] = request.gains[1] = request.gains[2] = 1.0;
  FinishWithLut(request);
  request.warnings |= solver.flags;
}

// Moves the target toward the native CCT in 50 K steps until the primaries
// can reach it. False when the steps pass the native CCT or run out.
bool StepIntoGamut(GainSolver& solver, const GainRequest& request, Chromaticity& target) {
  const Chromaticity r = PointOf(solver, kRed), g = PointOf(solver, kGreen), b = PointOf(solver, kBlue);
  int steps = 0;
  while (!InsideTriangle(target, r, g, b)) {
    solver.flags |= kSolverStepping;
    if (steps >= kMaxSteps) {
      solver.flags |= kSolverSteppingGaveUp | kSolverFallback;
      return false;
    }
    ++steps;
    const bool down = solver.nativeCct < solver.targetCct;
    const int32_t next = down ? solver.targetCct - kStepKelvin : solver.targetCct + kStepKelvin;
    if (down ? next < solver.nativeCct : next > solver.nativeCct) {
      solver.targetCct = solver.nativeCct;
      solver.flags |= kSolverFallback;
      return false;
    }
    solver.targetCct = next;
    target = LocusPoint(request.LocusType, next, solver);
  }
  return true;
}

double LuminanceFloor(const GainSolver& solver, const GainRequest& request) {
  switch (request.LuminanceRule) {
    case kLuminancePerceptualStep: {
      const double base = std::pow(solver.Yw, 0.4) - (std::pow(220.0, 0.4) - std::pow(190.0, 0.4));
      // Below the step the floor is negative (the power of a negative base
      // has no real value).
      return base < 0 ? -1 : std::pow(base, 2.5);
    }
    case kLuminancePercentage: return (100 - request.percentage) / 100 * solver.Yw;
    case kLuminanceAbsoluteDrop: return solver.Yw - request.drop;
    default: return 0;
  }
}

// Halves the way between the target and the white until the reachable
// luminance lands within 1 above the floor.
bool Bisect(GainSolver& solver, GainRequest& request, Chromaticity target, Chromaticity& result) {
  Chromaticity near = target;
  Chromaticity far = PointOf(solver, kWhite);
  Chromaticity mid = near;
  for (int iteration = 0;; ++iteration) {
    if (std::fabs(solver.Ymax - solver.floor) <= 1 && solver.Ymax >= solver.floor) {
      result = Distance(far, near) >= kCloseEnough ? mid : far;
      return true;
    }
    if (iteration >= kMaxBisections) {
      solver.flags |= kSolverBisectionGaveUp;
      solver.targetX = solver.xyY[kWhite][0];
      solver.targetY = solver.xyY[kWhite][1];
      return false;
    }
    mid = {(near.x + far.x) / 2, (near.y + far.y) / 2};
    ComputeGains(solver, request, mid);
    if (solver.Ymax == solver.floor) continue;
    if (solver.Ymax < solver.floor) {
      near = mid;
    } else {
      far = mid;
    }
    if (Distance(far, near) < kCloseEnough) {
      result = far;
      return true;
    }
  }
}

void SolveRequest(GainSolver& solver, GainRequest& request) {
  request.warnings = 0;
  request.error = 0;
  const double* triples[4] = {request.red, request.green, request.blue, request.white};
  if (!AllFinite(request) || request.white[1] == 0 || request.red[1] + request.green[1] + request.blue[1] == 0) {
    solver.flags |= kSolverZeroLuminance;
    return Fallback(solver, request);
  }
  for (int p = 0; p < 4; ++p) {
    const Chromaticity c = ChromaticityOf(triples[p], solver);
    solver.xyY[p][0] = c.x;
    solver.xyY[p][1] = c.y;
    solver.xyY[p][2] = triples[p][1];
  }
  // A primary without chromaticity (XYZ summing to 0) or without luminance
  // cannot be mixed.
  if ((solver.flags & kSolverZeroLuminance) || solver.xyY[kRed][1] == 0 || solver.xyY[kGreen][1] == 0 ||
      solver.xyY[kBlue][1] == 0) {
    solver.flags |= kSolverZeroLuminance;
    return Fallback(solver, request);
  }
  const Chromaticity white = PointOf(solver, kWhite);
  if (!InsideTriangle(white, PointOf(solver, kRed), PointOf(solver, kGreen), PointOf(solver, kBlue))) {
    solver.flags |= kSolverWhiteOutside;
    return Fallback(solver, request);
  }
  solver.nativeCct = EstimateCct(white, solver);

  Chromaticity target;
  switch (request.TargetMode) {
    case kTargetChromaticity: target = {request.targetX, request.targetY}; break;
    case kTargetCctOffset: {
      const int64_t cct = int64_t{solver.nativeCct} + request.cctOffset;
      target = LocusPoint(request.LocusType, static_cast<int32_t>(std::clamp<int64_t>(cct, INT32_MIN, INT32_MAX)),
                          solver);
      break;
    }
    case kTargetAbsoluteCct: target = LocusPoint(request.LocusType, request.absoluteCct, solver); break;
    default:
      solver.flags |= kSolverBadTargetMode | kSolverFallback;
      return Fallback(solver, request);
  }
  solver.targetCct = EstimateCct(target, solver);
  if (!StepIntoGamut(solver, request, target)) return Fallback(solver, request);

  solver.Yw = request.white[1];
  ComputeGains(solver, request, target);
  solver.floor = LuminanceFloor(solver, request);
  if (solver.floor < 0) {
    solver.floor = 0;
    solver.flags |= kSolverFloorClamped;
  } else if (solver.floor >= solver.Yw) {
    solver.flags |= kSolverFloorClamped | kSolverFallback;
    return Fallback(solver, request);
  }
  if (solver.floor != 0 && solver.Ymax < solver.floor && solver.Ymax > 1) {
    Chromaticity point;
    if (!Bisect(solver, request, target, point) || Distance(point, white) < kCloseEnough) {
      solver.flags |= kSolverFallback;
      return Fallback(solver, request);
    }
    target = point;
    ComputeGains(solver, request, target);
  }
  // Extreme measurements can overflow the arithmetic; such gains are no
  // better than none.
  for (double g : request.gains) {
    if (!(g > 0 && g <= 1.0 + 1e-9)) return Fallback(solver, request);
  }
  solver.targetX = target.x;
  solver.targetY = target.y;
  solver.targetCct = EstimateCct(target, solver);
  solver.luminanceChange = (solver.Ymax - solver.Yw) / solver.Yw * 100;
  FinishWithLut(request);
  request.warnings |= solver.flags;
}

}  // namespace

Chromaticity ChromaticityOf(const double* xyz, GainSolver& solver) {
  const double sum = xyz[0] + xyz[1] + xyz[2];
  if (sum == 0) {
    solver.flags |= kSolverZeroLuminance;
    return {0, 0};
  }
  return {xyz[0] / sum, xyz[1] / sum};
}

int32_t EstimateCct(Chromaticity c, GainSolver& solver) {
  const double n = (c.x - 0.332) / (0.1858 - c.y);
  const double cct = 437 * n * n * n + 3601 * n * n + 6831 * n + 5517 + 0.5;
  if (!(cct >= 2222)) {  // also NaN
    solver.flags |= kSolverCctLow;
    return 2222;
  }
  if (cct >= 13001) {
    solver.flags |= kSolverCctHigh;
    return 13000;
  }
  return static_cast<int32_t>(cct);
}

namespace {

double ClampCct(int32_t cct, int32_t low, int32_t high, uint32_t lowFlag, uint32_t highFlag, GainSolver& solver) {
  if (cct < low) {
    solver.flags |= lowFlag;
    return low;
  }
  if (cct > high) {
    solver.flags |= highFlag;
    return high;
  }
  return cct;
}

Chromaticity Planckian(double t) {
  const double t2 = t * t, t3 = t2 * t;
  const double x = t <= 4000 ? -0.2661239e9 / t3 - 0.2343580e6 / t2 + 0.8776956e3 / t + 0.179910
                             : -3.0258469e9 / t3 + 2.1070379e6 / t2 + 0.2226347e3 / t + 0.240390;
  const double x2 = x * x, x3 = x2 * x;
  double y;
  if (t <= 2222) {
    y = -1.1063814 * x3 - 1.3481102 * x2 + 2.18555832 * x - 0.20219683;
  } else if (t <= 4000) {
    y = -0.9549476 * x3 - 1.37418593 * x2 + 2.09137015 * x - 0.16748867;
  } else {
    y = 3.0817580 * x3 - 5.8733867 * x2 + 3.75112997 * x - 0.37001483;
  }
  return {x, y};
}

Chromaticity Daylight(double t) {
  const double t2 = t * t, t3 = t2 * t;
  const double x = t <= 7000 ? -4.6070e9 / t3 + 2.9678e6 / t2 + 0.09911e3 / t + 0.244063
                             : -2.0064e9 / t3 + 1.9018e6 / t2 + 0.24748e3 / t + 0.237040;
  return {x, -3 * x * x + 2.87 * x - 0.275};
}

}  // namespace

Chromaticity PlanckianLocus(int32_t cct, GainSolver& solver) {
  return Planckian(ClampCct(cct, 1667, 25000, kSolverPlanckLow, kSolverPlanckHigh, solver));
}

Chromaticity DaylightLocus(int32_t cct, GainSolver& solver) {
  return Daylight(ClampCct(cct, 4000, 25000, kSolverDaylightLow, kSolverDaylightHigh, solver));
}

Chromaticity OffsetDaylightLocus(int32_t cct, GainSolver& solver) {
  const double t = ClampCct(cct, 4000, 25000, kSolverOffsetDaylightLow, kSolverOffsetDaylightHigh, solver);
  const Chromaticity p = Planckian(t);
  const Chromaticity d = Daylight(t);
  auto toUv = [](Chromaticity c) {
    const double den = -2 * c.x + 12 * c.y + 3;
    return Chromaticity{4 * c.x / den, 6 * c.y / den};
  };
  const Chromaticity pu = toUv(p);
  const Chromaticity du = toUv(d);
  const double length = Distance(du, pu);
  Chromaticity uv = du;
  if (length > 0) {
    uv.x += 0.003 * (du.x - pu.x) / length;
    uv.y += 0.003 * (du.y - pu.y) / length;
  }
  const double den = 2 * uv.x - 8 * uv.y + 4;
  return {3 * uv.x / den, 2 * uv.y / den};
}

Chromaticity LocusPoint(int32_t locusType, int32_t cct, GainSolver& solver) {
  switch (locusType) {
    case kLocusPlanckian: return PlanckianLocus(cct, solver);
    case kLocusDaylight: return DaylightLocus(cct, solver);
    case kLocusOffsetDaylight: return OffsetDaylightLocus(cct, solver);
    default:
      solver.flags |= kSolverBadLocus;
      return OffsetDaylightLocus(cct, solver);
  }
}

bool InsideTriangle(Chromaticity p, Chromaticity r, Chromaticity g, Chromaticity b) {
  auto cross = [](Chromaticity from, Chromaticity to, Chromaticity q) {
    return (to.x - from.x) * (q.y - from.y) - (to.y - from.y) * (q.x - from.x);
  };
  const double c1 = cross(r, g, p), c2 = cross(g, b, p), c3 = cross(b, r, p);
  return (c1 > 0 && c2 > 0 && c3 > 0) || (c1 < 0 && c2 < 0 && c3 < 0);
}

void Solve(GainSolver& solver, GainRequest* request) {
  solver.flags = 0;
  if (request == nullptr) {
    solver.flags |= kSolverNoRequest;
    return;
  }
  SolveRequest(solver, *request);
}

}  // namespace kelvara
