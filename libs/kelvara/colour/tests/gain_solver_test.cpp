// The solver's building blocks against published colour-science values and
// its solves against an independent linear-algebra reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "libs/kelvara/colour/gain_solver.h"
#include "libs/kelvara/colour/tests/test_luts.h"

namespace kelvara {
namespace {

using testing::MeasuredPanel;
using testing::MixedWhite;
using testing::MixTo;
using testing::Panel;
using testing::SrgbLikePanel;

GainRequest RequestFor(const Panel& panel) {
  GainRequest r;
  std::memcpy(r.red, panel.xyz[0], sizeof r.red);
  std::memcpy(r.green, panel.xyz[1], sizeof r.green);
  std::memcpy(r.blue, panel.xyz[2], sizeof r.blue);
  std::memcpy(r.white, panel.xyz[3], sizeof r.white);
  return r;
}

void FromxyY(double x, double y, double Y, double (&xyz)[3]) {
  xyz[0] = x * Y / y;
  xyz[1] = Y;
  xyz[2] = (1 - x - y) * Y / y;
}

double UvDistance(Chromaticity a, Chromaticity b) {
  auto u = [](Chromaticity c) { return 4 * c.x / (-2 * c.x + 12 * c.y + 3); };
  auto v = [](Chromaticity c) { return 6 * c.y / (-2 * c.x + 12 * c.y + 3); };
  return std::hypot(u(a) - u(b), v(a) - v(b));
}

TEST(SolverBlocks, ChromaticityAndCctEstimate) {
  GainSolver s;
  const double d65[3] = {95.047, 100.0, 108.883};
  const Chromaticity c = ChromaticityOf(d65, s);
  EXPECT_NEAR(c.x, 0.31272, 1e-5);
  EXPECT_NEAR(c.y, 0.32903, 1e-5);
  const double zero[3] = {0, 0, 0};
  const Chromaticity z = ChromaticityOf(zero, s);
  EXPECT_EQ(z.x, 0);
  EXPECT_EQ(z.y, 0);
  EXPECT_EQ(s.flags, kSolverZeroLuminance);

  s.flags = 0;
  EXPECT_EQ(EstimateCct({0.3127, 0.3290}, s), 6504);
  EXPECT_NEAR(EstimateCct({0.4476, 0.4074}, s), 2856, 20);  // illuminant A
  EXPECT_EQ(s.flags, 0u);
  EXPECT_EQ(EstimateCct({0.25, 0.25}, s), 13000);
  EXPECT_EQ(s.flags, kSolverCctHigh);
  s.flags = 0;
  EXPECT_EQ(EstimateCct({0.6, 0.35}, s), 2222);
  EXPECT_EQ(s.flags, kSolverCctLow);
}

TEST(SolverBlocks, LociMatchPublishedPointsAndClampTheirRange) {
  GainSolver s;
  // CIE daylight at 6504 K is D65.
  Chromaticity d = DaylightLocus(6504, s);
  EXPECT_NEAR(d.x, 0.3127, 2e-4);
  EXPECT_NEAR(d.y, 0.3290, 2e-4);
  d = DaylightLocus(5003, s);  // D50
  EXPECT_NEAR(d.x, 0.3457, 2e-4);
  EXPECT_NEAR(d.y, 0.3585, 2e-4);
  // Planckian radiators.
  struct { int t; double x, y; } planck[] = {{2000, 0.5267, 0.4133}, {3000, 0.4369, 0.4041}, {6500, 0.3135, 0.3236}};
  for (const auto& p : planck) {
    const Chromaticity c = PlanckianLocus(p.t, s);
    EXPECT_NEAR(c.x, p.x, 1e-3) << p.t;
    EXPECT_NEAR(c.y, p.y, 1e-3) << p.t;
  }
  EXPECT_EQ(s.flags, 0u);

  // Out-of-range temperatures give the end point and their bit.
  auto same = [](Chromaticity a, Chromaticity b) { return a.x == b.x && a.y == b.y; };
  GainSolver t;
  EXPECT_TRUE(same(PlanckianLocus(1000, t), PlanckianLocus(1667, s)));
  EXPECT_EQ(t.flags, kSolverPlanckLow);
  t.flags = 0;
  EXPECT_TRUE(same(PlanckianLocus(40000, t), PlanckianLocus(25000, s)));
  EXPECT_EQ(t.flags, kSolverPlanckHigh);
  t.flags = 0;
  EXPECT_TRUE(same(DaylightLocus(3000, t), DaylightLocus(4000, s)));
  EXPECT_EQ(t.flags, kSolverDaylightLow);
  t.flags = 0;
  EXPECT_TRUE(same(DaylightLocus(30000, t), DaylightLocus(25000, s)));
  EXPECT_EQ(t.flags, kSolverDaylightHigh);
  t.flags = 0;
  EXPECT_TRUE(same(OffsetDaylightLocus(3000, t), OffsetDaylightLocus(4000, s)));
  EXPECT_EQ(t.flags, kSolverOffsetDaylightLow);
  t.flags = 0;
  EXPECT_TRUE(same(OffsetDaylightLocus(26000, t), OffsetDaylightLocus(25000, s)));
  EXPECT_EQ(t.flags, kSolverOffsetDaylightHigh);
  EXPECT_EQ(s.flags, 0u);

  // An unknown locus is the offset daylight one, with its bit.
  t.flags = 0;
  EXPECT_TRUE(same(LocusPoint(7, 6000, t), OffsetDaylightLocus(6000, s)));
  EXPECT_EQ(t.flags, kSolverBadLocus);
}

TEST(SolverBlocks, OffsetDaylightLiesFurtherFromThePlanckianLocus) {
  GainSolver s;
  for (int t : {4000, 5500, 6500, 9300, 20000}) {
    const Chromaticity o = OffsetDaylightLocus(t, s);
    const Chromaticity d = DaylightLocus(t, s);
    const Chromaticity p = PlanckianLocus(t, s);
    EXPECT_NEAR(UvDistance(o, d), 0.003, 1e-9) << t;
    EXPECT_NEAR(UvDistance(o, p), UvDistance(d, p) + 0.003, 1e-9) << t;
  }
}

TEST(SolverBlocks, InsideTriangleIsStrictAndOrientationFree) {
  const Chromaticity r{0.64, 0.33}, g{0.30, 0.60}, b{0.15, 0.06};
  EXPECT_TRUE(InsideTriangle({0.3127, 0.3290}, r, g, b));
  EXPECT_TRUE(InsideTriangle({0.3127, 0.3290}, r, b, g));
  EXPECT_FALSE(InsideTriangle({0.70, 0.30}, r, g, b));
  EXPECT_FALSE(InsideTriangle({0.47, 0.465}, r, g, b));  // on the red-green edge
  EXPECT_FALSE(InsideTriangle(r, r, g, b));
}

TEST(Solve, TargetAtTheWhiteKeepsUnitGains) {
  const Panel panel = SrgbLikePanel();
  GainRequest r = RequestFor(panel);
  r.targetX = panel.xyz[3][0] / (panel.xyz[3][0] + panel.xyz[3][1] + panel.xyz[3][2]);
  r.targetY = panel.xyz[3][1] / (panel.xyz[3][0] + panel.xyz[3][1] + panel.xyz[3][2]);
  GainSolver s;
  Solve(s, &r);
  EXPECT_EQ(r.warnings, 0u);
  int ones = 0;
  for (double g : r.gains) {
    EXPECT_NEAR(g, 1.0, 1e-9);
    ones += g == 1.0;
  }
  EXPECT_GE(ones, 1);
  EXPECT_NEAR(s.Ymax, s.Yw, 1e-9);
  EXPECT_NEAR(s.nativeCct, 6504, 1);
}

TEST(Solve, ChromaticityTargetMatchesTheLinearMix) {
  const Panel panel = MeasuredPanel();
  for (Chromaticity target : {Chromaticity{0.3127, 0.3290}, Chromaticity{0.3457, 0.3585}, Chromaticity{0.28, 0.29}}) {
    GainRequest r = RequestFor(panel);
    r.targetX = target.x;
    r.targetY = target.y;
    GainSolver s;
    Solve(s, &r);
    ASSERT_EQ(r.warnings & kSolverFallback, 0u);
    const testing::Mix mix = MixTo(panel.xyz, target.x, target.y);
    for (int p = 0; p < 3; ++p) {
      EXPECT_NEAR(r.gains[p], std::pow(mix.scale[p], 1 / 2.2), 1e-9) << p;
      if (mix.scale[p] == 1.0) {
        EXPECT_EQ(r.gains[p], 1.0);  // the limiting channel is exact
      }
    }
    EXPECT_NEAR(s.Ymax, mix.luminance, 1e-6);
    EXPECT_NEAR(s.luminanceChange, (mix.luminance - 300) / 300 * 100, 1e-6);
    EXPECT_EQ(s.targetX, target.x);
    GainSolver scratch;
    EXPECT_EQ(s.targetCct, EstimateCct(target, scratch));
  }
}

TEST(Solve, CctTargetsLieOnTheChosenLocus) {
  const Panel panel = MeasuredPanel();
  for (int locus : {kLocusPlanckian, kLocusDaylight, kLocusOffsetDaylight}) {
    GainRequest r = RequestFor(panel);
    r.TargetMode = kTargetCctOffset;
    r.cctOffset = -1000;
    r.LocusType = locus;
    GainSolver s;
    Solve(s, &r);
    ASSERT_EQ(r.warnings, 0u) << locus;
    EXPECT_NEAR(s.nativeCct, 6780, 10);
    GainSolver scratch;
    const int32_t warm = s.nativeCct - 1000;
    const Chromaticity expected = LocusPoint(locus, warm, scratch);
    double x, y;
    MixedWhite(panel.xyz, r.gains, x, y);
    EXPECT_NEAR(x, expected.x, 1e-9);
    EXPECT_NEAR(y, expected.y, 1e-9);

    GainRequest a = RequestFor(panel);
    a.TargetMode = kTargetAbsoluteCct;
    a.absoluteCct = warm;
    a.LocusType = locus;
    Solve(s, &a);
    EXPECT_EQ(std::memcmp(a.gains, r.gains, sizeof a.gains), 0);
  }
}

TEST(Solve, InvalidRequestsFallBackWithTheirBits) {
  GainSolver s;
  Solve(s, nullptr);
  EXPECT_EQ(s.flags, kSolverNoRequest);

  const Panel panel = SrgbLikePanel();
  GainRequest bad = RequestFor(panel);
  bad.TargetMode = 3;
  Solve(s, &bad);
  EXPECT_EQ(bad.warnings, kSolverBadTargetMode | kSolverFallback);
  for (double g : bad.gains) EXPECT_EQ(g, 1.0);
  EXPECT_NEAR(s.targetX, 0.3127, 1e-4);
  EXPECT_EQ(s.Ymax, 1.0);
  EXPECT_EQ(s.luminanceChange, 0);

  GainRequest dark = RequestFor(panel);
  dark.white[1] = 0;
  Solve(s, &dark);
  EXPECT_EQ(dark.warnings & (kSolverZeroLuminance | kSolverFallback), kSolverZeroLuminance | kSolverFallback);

  GainRequest black = RequestFor(panel);
  black.red[1] = black.green[1] = black.blue[1] = 0;
  Solve(s, &black);
  EXPECT_EQ(black.warnings, kSolverZeroLuminance | kSolverFallback);

  GainRequest blank = RequestFor(panel);
  std::memset(blank.white, 0, sizeof blank.white);
  Solve(s, &blank);
  EXPECT_EQ(s.targetX, 0);
  EXPECT_EQ(s.targetY, 0);
  EXPECT_TRUE(blank.warnings & kSolverZeroLuminance);

  // A primary without chromaticity or a measurement that is no number
  // cannot be mixed: unit gains, not NaN.
  GainRequest noBlue = RequestFor(panel);
  std::memset(noBlue.blue, 0, sizeof noBlue.blue);
  noBlue.blue[1] = 0;
  Solve(s, &noBlue);
  EXPECT_TRUE(noBlue.warnings & kSolverFallback);
  GainRequest nan = RequestFor(panel);
  nan.green[2] = std::nan("");
  Solve(s, &nan);
  EXPECT_EQ(nan.warnings, kSolverZeroLuminance | kSolverFallback);
  for (double g : nan.gains) EXPECT_EQ(g, 1.0);

  // A white outside its primaries.
  GainRequest outside = RequestFor(panel);
  std::memcpy(outside.white, outside.red, sizeof outside.white);
  outside.white[1] *= 1.0001;
  Solve(s, &outside);
  EXPECT_EQ(outside.warnings & kSolverWhiteOutside, kSolverWhiteOutside);
  EXPECT_TRUE(outside.warnings & kSolverFallback);
}

// A narrow gamut around a white well below the daylight locus: the locus
// never enters the triangle near the native CCT.
GainRequest NarrowPanelRequest() {
  GainRequest r;
  FromxyY(0.32, 0.29, 0.3, r.red);
  FromxyY(0.30, 0.305, 0.6, r.green);
  FromxyY(0.28, 0.29, 0.1, r.blue);
  FromxyY(0.30, 0.30, 1.0, r.white);
  r.TargetMode = kTargetAbsoluteCct;
  return r;
}

TEST(Solve, SteppingTowardTheNativeCct) {
  GainSolver s;
  GainRequest r = NarrowPanelRequest();
  r.absoluteCct = 9000;  // 26 steps reach the native CCT, about 7720 K
  Solve(s, &r);
  EXPECT_NEAR(s.nativeCct, 7722, 5);
  EXPECT_EQ(r.warnings, kSolverStepping | kSolverFallback);
  for (double g : r.gains) EXPECT_EQ(g, 1.0);

  GainRequest far = NarrowPanelRequest();
  far.absoluteCct = 25000;  // more than 100 steps away, beyond the estimate's 13000 K
  Solve(s, &far);
  EXPECT_EQ(far.warnings, kSolverStepping | kSolverSteppingGaveUp | kSolverFallback | kSolverCctHigh);

  // A wide panel: a 20000 K target steps down to the first locus point the
  // primaries can reach.
  const Panel panel = MeasuredPanel();
  GainRequest cold = RequestFor(panel);
  cold.TargetMode = kTargetAbsoluteCct;
  cold.absoluteCct = 20000;
  cold.LocusType = kLocusPlanckian;
  // Pull blue toward red so the blue end of the locus leaves the gamut.
  FromxyY(0.26, 0.10, 22, cold.blue);
  Solve(s, &cold);
  ASSERT_EQ(cold.warnings & kSolverFallback, 0u);
  EXPECT_TRUE(cold.warnings & kSolverStepping);
  double x, y;
  double xyz[4][3];
  std::memcpy(xyz[0], cold.red, sizeof xyz[0]);
  std::memcpy(xyz[1], cold.green, sizeof xyz[1]);
  std::memcpy(xyz[2], cold.blue, sizeof xyz[2]);
  MixedWhite(xyz, cold.gains, x, y);
  EXPECT_NEAR(x, s.targetX, 1e-9);
  EXPECT_NEAR(y, s.targetY, 1e-9);
  EXPECT_LT(s.targetCct, 20000);
}

TEST(Solve, LuminanceFloorRules) {
  const Panel panel = MeasuredPanel();
  // A warm target costs luminance on this cool panel.
  const Chromaticity target{0.3457, 0.3585};
  const double reachable = MixTo(panel.xyz, target.x, target.y).luminance;
  ASSERT_LT(reachable, 285);

  // 5 % below the white: the target moves toward the white until the floor
  // is met within 1.
  GainRequest r = RequestFor(panel);
  r.targetX = target.x;
  r.targetY = target.y;
  r.LuminanceRule = kLuminancePercentage;
  r.percentage = 5;
  GainSolver s;
  Solve(s, &r);
  ASSERT_EQ(r.warnings & kSolverFallback, 0u) << r.warnings;
  EXPECT_EQ(s.floor, 285);
  EXPECT_GE(s.Ymax, 285 - 1e-9);
  EXPECT_LE(s.Ymax, 286.01);
  double x, y;
  MixedWhite(panel.xyz, r.gains, x, y);
  EXPECT_NEAR(x, s.targetX, 1e-9);
  EXPECT_NEAR(y, s.targetY, 1e-9);
  const double wx = 278 / 904.5, wy = 300 / 904.5;
  const double cross = (target.x - wx) * (y - wy) - (target.y - wy) * (x - wx);
  EXPECT_NEAR(cross, 0, 1e-6);  // on the line from the white to the target
  EXPECT_GT(x, wx);
  EXPECT_LT(x, target.x);
  EXPECT_NEAR(MixTo(panel.xyz, x, y).luminance, s.Ymax, 1e-6);

  // A floor at the white itself cannot be met.
  GainRequest none = RequestFor(panel);
  none.targetX = target.x;
  none.targetY = target.y;
  none.LuminanceRule = kLuminanceAbsoluteDrop;
  none.drop = 0;
  Solve(s, &none);
  EXPECT_EQ(none.warnings, kSolverFloorClamped | kSolverFallback);

  // A floor almost at the white leaves a point next to the white: fallback.
  GainRequest tight = none;
  tight.drop = 0.01;
  Solve(s, &tight);
  EXPECT_TRUE(tight.warnings & kSolverFallback);

  // A drop beyond the white: the floor is clamped to 0 and nothing limits.
  GainRequest deep = none;
  deep.drop = 400;
  Solve(s, &deep);
  EXPECT_EQ(deep.warnings, kSolverFloorClamped);
  EXPECT_NEAR(s.Ymax, reachable, 1e-6);

  // The perceptual step on a dim (ICC-normalised) white has no floor.
  GainRequest dim = RequestFor(SrgbLikePanel());
  dim.targetX = target.x;
  dim.targetY = target.y;
  dim.LuminanceRule = kLuminancePerceptualStep;
  for (double* t : {dim.red, dim.green, dim.blue, dim.white}) {
    for (int k = 0; k < 3; ++k) t[k] *= 0.1;
  }
  Solve(s, &dim);
  EXPECT_EQ(dim.warnings, kSolverFloorClamped);
  EXPECT_EQ(s.floor, 0);
}

TEST(Solve, PerceptualStepFloorOnAMeasuredWhite) {
  const Panel panel = MeasuredPanel();
  GainRequest r = RequestFor(panel);
  r.targetX = 0.3457;
  r.targetY = 0.3585;
  r.LuminanceRule = kLuminancePerceptualStep;
  GainSolver s;
  Solve(s, &r);
  const double floor = std::pow(std::pow(300.0, 0.4) - (std::pow(220.0, 0.4) - std::pow(190.0, 0.4)), 2.5);
  EXPECT_NEAR(s.floor, floor, 1e-9);
  EXPECT_NEAR(floor, 263.5, 0.5);
  EXPECT_GE(s.Ymax, floor - 1e-9);
  EXPECT_LE(s.Ymax, floor + 1.01);
}

TEST(Solve, RequestLutsAreReindexedWithTheResult) {
  Lut source, dest;
  testing::FillPower(source, 2.2);
  std::memset(dest, 0, sizeof dest);
  GainRequest r = RequestFor(MeasuredPanel());
  r.targetX = 0.3127;
  r.targetY = 0.3290;
  r.sourceLut = &source;
  r.destLut = &dest;
  GainSolver s;
  Solve(s, &r);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(dest[c][255], source[c][static_cast<int>(255 * r.gains[c] + 0.5)]);
  }
}

}  // namespace
}  // namespace kelvara
