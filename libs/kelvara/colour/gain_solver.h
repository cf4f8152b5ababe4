// White-point gain solver: the per-channel gains that move a panel's white
// to a target chromaticity (or a CCT on a locus) with the most luminance its
// primaries allow, optionally above a luminance floor. Every failure falls
// back to unit gains, with the reason in the warning bits.
#pragma once

#include <cstdint>

#include "libs/kelvara/cct_params.h"

namespace kelvara {

enum SolverFlags : uint32_t {
  kSolverNoRequest = 0x1,
  kSolverZeroLuminance = 0x2,  // white Y 0, primaries' Y sum 0, or an XYZ triple summing to 0
  kSolverFallback = 0x4,
  kSolverBadTargetMode = 0x8,
  kSolverBadLocus = 0x10,
  kSolverFloorClamped = 0x20,
  kSolverStepping = 0x40,
  kSolverDaylightLow = 0x80,
  kSolverDaylightHigh = 0x100,
  kSolverPlanckLow = 0x200,
  kSolverPlanckHigh = 0x400,
  kSolverOffsetDaylightLow = 0x800,
  kSolverOffsetDaylightHigh = 0x1000,
  kSolverCctLow = 0x2000,
  kSolverCctHigh = 0x4000,
  kSolverSteppingGaveUp = 0x8000,
  kSolverBisectionGaveUp = 0x10000,
  kSolverFactorClamped = 0x20000,
  kSolverWhiteOutside = 0x40000,
};

enum TargetModes : int32_t { kTargetChromaticity = 0, kTargetCctOffset = 1, kTargetAbsoluteCct = 2 };
enum LocusTypes : int32_t { kLocusPlanckian = 0, kLocusDaylight = 1, kLocusOffsetDaylight = 2 };
enum LuminanceRules : int32_t {
  kLuminanceNone = 0,
  kLuminancePerceptualStep = 1,
  kLuminancePercentage = 2,
  kLuminanceAbsoluteDrop = 3,
};

// Input and output of one solve.
struct GainRequest {
  double red[3] = {}, green[3] = {}, blue[3] = {}, white[3] = {};  // X, Y, Z
  int32_t TargetMode = kTargetChromaticity;
  double targetX = 0, targetY = 0;  // mode 0
  int32_t cctOffset = 0;            // mode 1, kelvin
  int32_t absoluteCct = 0;          // mode 2, kelvin
  int32_t LocusType = kLocusOffsetDaylight;
  int32_t LuminanceRule = kLuminanceNone;
  double percentage = 0;  // rule 2
  double drop = 0;        // rule 3, in the unit of Y
  const Lut* sourceLut = nullptr;  // both set: re-indexed into destLut
  Lut* destLut = nullptr;
  double gains[3] = {};
  uint32_t warnings = 0;  // SolverFlags of this solve
  uint32_t error = 0;     // cleared, never set
};

// Working state and results of the last solve; gamma is set by the caller.
struct GainSolver {
  int32_t targetCct = 0;  // CCT estimate of the final target
  double targetX = 0, targetY = 0;
  uint32_t flags = 0;
  double luminanceChange = 0;  // percent, (Ymax - Yw) / Yw * 100
  double Yw = 0;               // luminance of the measured white
  double Ymax = 0;             // largest white luminance at the target
  double floor = 0;            // minimum luminance from the rule
  double xyY[4][3] = {};       // red, green, blue, white
  int32_t nativeCct = 0;
  double gamma = 2.2;
};

// Building blocks; each ORs its warnings into solver.flags.
// x = X / (X + Y + Z), y = Y / (X + Y + Z); (0, 0) with bit 0x2 for a zero sum.
Chromaticity ChromaticityOf(const double* xyz, GainSolver& solver);
int32_t EstimateCct(Chromaticity c, GainSolver& solver);
Chromaticity PlanckianLocus(int32_t cct, GainSolver& solver);
Chromaticity DaylightLocus(int32_t cct, GainSolver& solver);
Chromaticity OffsetDaylightLocus(int32_t cct, GainSolver& solver);
Chromaticity LocusPoint(int32_t locusType, int32_t cct, GainSolver& solver);
// Strictly inside the triangle of the corners (on an edge is outside).
bool InsideTriangle(Chromaticity p, Chromaticity r, Chromaticity g, Chromaticity b);

// The whole solve: gains and warnings in the request, results in solver.
void Solve(GainSolver& solver, GainRequest* request);

}  // namespace kelvara
