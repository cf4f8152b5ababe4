// GammaFit against the brute-force reference of gamma_reference.h.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "libs/kelvara/colour/gamma_fit.h"
#include "libs/kelvara/colour/tests/gamma_reference.h"
#include "libs/kelvara/colour/tests/test_luts.h"

namespace kelvara {
namespace {

// Measurements of a panel whose channel c follows (level / 255)^power[c] on
// all three components, above a small black.
GammaFitInput PanelMeasurements(const double (&power)[3]) {
  const testing::Panel panel = testing::MeasuredPanel();
  GammaFitInput fit;
  for (int c = 0; c < 3; ++c) {
    for (int n = 0; n < 7; ++n) {
      for (int k = 0; k < 3; ++k) {
        const double black = 0.002 * panel.xyz[c][k];
        fit.xyz[c][n][k] = black + (panel.xyz[c][k] - black) * std::pow(testing::kGreyDriveLevels[n] / 255.0, power[c]);
      }
    }
  }
  return fit;
}

TEST(GammaFit, MatchesTheNearestDriveLevelOfTheMeasuredResponse) {
  const GammaFitInput fit = PanelMeasurements({2.2, 2.4, 2.0});
  Lut8 levels;
  ASSERT_EQ(GammaFit(fit, levels), 0);
  int expected[256][3];
  testing::GammaReference(fit, expected);
  for (int j = 0; j < 256; ++j) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(levels[j][c], expected[j][c]) << j << " " << c;
  }
  // Rough physics: sRGB mid-grey (linear 0.214) on a 2.2 panel needs drive
  // 255 * 0.214^(1/2.2) = 127.
  EXPECT_NEAR(levels[128][0], 127, 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(levels[0][c], 0);
    EXPECT_EQ(levels[255][c], 255);
    for (int j = 1; j < 256; ++j) EXPECT_GE(levels[j][c], levels[j - 1][c]);
  }
}

TEST(GammaFit, ShadowsBelowThirtyAreAStraightRamp) {
  const GammaFitInput fit = PanelMeasurements({2.2, 2.2, 2.2});
  Lut8 levels;
  ASSERT_EQ(GammaFit(fit, levels), 0);
  int n = 0;
  while (levels[n][1] <= 30) ++n;
  ASSERT_GT(n, 1);
  const int v = levels[n][1];
  for (int d = 0; d <= n; ++d) EXPECT_EQ(levels[d][1], static_cast<int>(static_cast<double>(d) / n * v + 0.5)) << d;
}

TEST(GammaFit, RejectsMeasurementsItWouldDivideBy) {
  Lut8 levels;
  GammaFitInput zero = PanelMeasurements({2.2, 2.2, 2.2});
  zero.xyz[2][6][2] = 0;  // blue Z at full drive
  EXPECT_EQ(GammaFit(zero, levels), kGammaFitRejected);

  GammaFitInput negative = PanelMeasurements({2.2, 2.2, 2.2});
  negative.xyz[0][6][1] = -5;
  EXPECT_EQ(GammaFit(negative, levels), kGammaFitRejected);

  GammaFitInput nan = PanelMeasurements({2.2, 2.2, 2.2});
  nan.xyz[1][3][0] = std::nan("");
  EXPECT_EQ(GammaFit(nan, levels), kGammaFitRejected);

  GammaFitInput unordered = PanelMeasurements({2.2, 2.2, 2.2});
  unordered.levels[2] = 42;
  EXPECT_EQ(GammaFit(unordered, levels), kGammaFitRejected);
}

TEST(GammaFit, FlatMeasurementsStayInsideTheRamp) {
  // A channel that does not respond (the same value at every level): the
  // exponent fit picks 0; every result must still be a level 0 .. 255.
  GammaFitInput flat = PanelMeasurements({2.2, 2.2, 2.2});
  for (int n = 0; n < 7; ++n) flat.xyz[0][n][0] = flat.xyz[0][n][1] = flat.xyz[0][n][2] = 10;
  Lut8 levels;
  ASSERT_EQ(GammaFit(flat, levels), 0);
  for (int j = 0; j < 256; ++j) {
    EXPECT_GE(levels[j][0], 0);
    EXPECT_LE(levels[j][0], 255);
  }
}

}  // namespace
}  // namespace kelvara
