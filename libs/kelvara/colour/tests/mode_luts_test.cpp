// The mode LUTs, built straight from gains set in the record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "libs/kelvara/colour/gain_solver.h"
#include "libs/kelvara/colour/lut_ops.h"
#include "libs/kelvara/colour/mode_luts.h"
#include "libs/kelvara/colour/tests/test_luts.h"

namespace kelvara {
namespace {

using testing::FillIdentity;
using testing::FillPower;

std::unique_ptr<CctParams> RecordWithGains() {
  auto p = std::make_unique<CctParams>();
  std::memset(p.get(), 0, sizeof(CctParams));
  FillPower(p->baseLut, 2.0);
  testing::SetNative(*p, testing::SrgbLikePanel());
  const double def[3] = {1.0, 0.96, 0.92}, warm[3] = {1.0, 0.85, 0.70}, cold[3] = {0.80, 0.90, 1.0};
  const double weak[3] = {1.0, 0.90, 0.75}, strong[3] = {1.0, 0.80, 0.55};
  std::memcpy(p->defGain, def, sizeof def);
  std::memcpy(p->warmGain, warm, sizeof warm);
  std::memcpy(p->coldGain, cold, sizeof cold);
  std::memcpy(p->readWeakGain, weak, sizeof weak);
  std::memcpy(p->readStrongGain, strong, sizeof strong);
  p->interval = 1.0;
  p->brightness = 1.0;
  return p;
}

// Entry i of channel c re-indexed with gain g.
uint16_t Reindexed(const Lut& source, int c, int i, double g) {
  return source[c][std::min(255, static_cast<int>(i * g + 0.5))];
}

TEST(ReadingTargets, FollowTheReadingLine) {
  const Chromaticity p{0.316103222, 0.343348174}, q{0.3779, 0.3923};
  const double dx = q.x - p.x, dy = q.y - p.y, length = std::hypot(dx, dy);
  const double ux = dx / length, uy = dy / length;

  // Far to the left of the line's start: its two ends.
  ReadingPair r = ReadingTargets({0.30, 0.33});
  EXPECT_EQ(r.weak.x, p.x);
  EXPECT_EQ(r.strong.y, q.y);

  // Beside the line: projected, then 0.005 along it, the strong one a line
  // length further.
  const Chromaticity w{p.x + 0.3 * dx - 0.01 * uy, p.y + 0.3 * dy + 0.01 * ux};
  r = ReadingTargets(w);
  EXPECT_NEAR(r.weak.x, p.x + 0.3 * dx + 0.005 * ux, 1e-12);
  EXPECT_NEAR(r.weak.y, p.y + 0.3 * dy + 0.005 * uy, 1e-12);
  EXPECT_NEAR(r.strong.x, r.weak.x + dx, 1e-12);
  EXPECT_NEAR(r.strong.y, r.weak.y + dy, 1e-12);

  // Just behind the start: from the start.
  r = ReadingTargets({p.x - 0.002 * ux, p.y - 0.002 * uy});
  EXPECT_NEAR(r.weak.x, p.x + 0.005 * ux, 1e-12);
  EXPECT_NEAR(r.strong.y, p.y + 0.005 * uy + dy, 1e-12);

  // Further behind it (but not far left): the two ends.
  r = ReadingTargets({p.x - 0.004, p.y - 0.02});
  EXPECT_EQ(r.weak.x, p.x);
  EXPECT_EQ(r.strong.x, q.x);
}

TEST(ColourTemperatureLut, IntervalOneWithoutFactoryDataIsTheBaseLut) {
  auto p = RecordWithGains();
  ASSERT_EQ(ColourTemperatureLut(*p), 0);
  EXPECT_EQ(std::memcmp(p->outLut, p->baseLut, sizeof p->outLut), 0);

  // With factory data the default gains apply, on the factory ramp when
  // there is one.
  p->hasFactoryData = 1;
  ColourTemperatureLut(*p);
  EXPECT_EQ(p->outLut[1][255], Reindexed(p->baseLut, 1, 255, 0.96));
  p->hasGammaLut = 1;
  FillPower(p->gammaLut, 1.5);
  ColourTemperatureLut(*p);
  EXPECT_EQ(p->outLut[2][200], Reindexed(p->gammaLut, 2, 200, 0.92));
}

TEST(ColourTemperatureLut, IntervalBlendsTowardWarmAndCold) {
  auto p = RecordWithGains();
  p->interval = 0.75;  // halfway between default and warm
  ColourTemperatureLut(*p);
  for (int c = 0; c < 3; ++c) {
    const double g = (p->defGain[c] + p->warmGain[c]) / 2;
    for (int i : {64, 200, 255}) EXPECT_EQ(p->outLut[c][i], Reindexed(p->baseLut, c, i, g)) << c << " " << i;
  }
  p->interval = 1.5;
  ColourTemperatureLut(*p);
  EXPECT_EQ(p->outLut[0][255], Reindexed(p->baseLut, 0, 255, 0.80));
  p->interval = 0.5;
  ColourTemperatureLut(*p);
  EXPECT_EQ(p->outLut[2][255], Reindexed(p->baseLut, 2, 255, 0.70));

  // Outside the range nothing is built.
  Lut before;
  std::memcpy(before, p->outLut, sizeof before);
  for (double a : {1.51, 0.49}) {
    p->interval = a;
    EXPECT_EQ(ColourTemperatureLut(*p), -1);
    EXPECT_EQ(std::memcmp(before, p->outLut, sizeof before), 0);
  }
}

TEST(VividLut, CurveKeepsTheShadowsAndEndsAtFullScale) {
  for (int i = 0; i < 50; ++i) EXPECT_EQ(VividCurve(i), i);
  EXPECT_NEAR(VividCurve(50), 50, 1e-9);
  EXPECT_NEAR(VividCurve(255), 255, 1e-9);
  EXPECT_GT(VividCurve(200), 200);  // lifts the upper mid-tones
  for (int i = 1; i < 256; ++i) EXPECT_GT(VividCurve(i), VividCurve(i - 1));

  auto p = RecordWithGains();
  p->defGain[0] = p->defGain[1] = p->defGain[2] = 1.0;
  VividLut(*p);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 50; ++i) EXPECT_EQ(p->outLut[c][i], p->baseLut[c][i]);
    EXPECT_EQ(p->outLut[c][255], p->baseLut[c][255]);
    EXPECT_EQ(p->outLut[c][200], p->baseLut[c][static_cast<int>(VividCurve(200) + 0.5)]);
  }
  p->defGain[2] = 0.5;
  VividLut(*p);
  EXPECT_EQ(p->outLut[2][255], p->baseLut[2][128]);
}

TEST(SteppedReadingLut, EndsSelectTheWeakAndStrongGains) {
  auto p = RecordWithGains();
  for (double levels : {0.0, 2.0, 5.0}) {
    p->RDLevels = levels;
    p->RDIndex = 0;
    EXPECT_EQ(SteppedReadingLut(*p), 0u);
    EXPECT_EQ(p->outLut[2][255], Reindexed(p->baseLut, 2, 255, 0.75)) << levels;
  }
  p->RDLevels = 5;
  p->RDIndex = 4;
  SteppedReadingLut(*p);
  EXPECT_EQ(p->outLut[2][255], Reindexed(p->baseLut, 2, 255, 0.55));
  p->RDIndex = 2;
  SteppedReadingLut(*p);
  EXPECT_EQ(p->outLut[2][255], Reindexed(p->baseLut, 2, 255, 0.65));

  // Beyond the last step: clamped to the strong gains, with the bit.
  p->RDIndex = 9;
  EXPECT_EQ(SteppedReadingLut(*p), kSolverFactorClamped);
  EXPECT_EQ(p->outLut[2][255], Reindexed(p->baseLut, 2, 255, 0.55));
}

TEST(SteppedReadingLut, ASingleLevelIsTheWeakMode) {
  auto p = RecordWithGains();
  p->RDLevels = 1;
  for (double index : {0.0, 1.0, 3.0}) {
    p->RDIndex = index;
    EXPECT_EQ(SteppedReadingLut(*p), 0u);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(p->outLut[c][255], Reindexed(p->baseLut, c, 255, p->readWeakGain[c]));
  }
}

TEST(TheaterLut, SolvesTowardTheTheatreWhiteWithFivePercentMore) {
  auto p = RecordWithGains();
  p->lutApiType = 0;
  TheaterLut(*p);
  const testing::Mix mix = testing::MixTo(p->nativeXyz, 0.3418, 0.3757);
  for (int c = 0; c < 3; ++c) {
    const double g = std::pow(mix.scale[c], 1 / 2.2) * 1.05;
    for (int i : {100, 243, 255}) EXPECT_EQ(p->outLut[c][i], Reindexed(p->baseLut, c, i, g)) << c << " " << i;
  }
  // The red channel limits this warm white: 1.05 past the top reads entry
  // 255 from level 243 up.
  EXPECT_EQ(p->outLut[0][243], p->baseLut[0][255]);

  // Factory measurements are used when the record has them.
  p->hasFactoryData = 1;
  std::memcpy(p->factoryXyz, testing::MeasuredPanel().xyz, sizeof p->factoryXyz);
  TheaterLut(*p);
  const testing::Mix factory = testing::MixTo(p->factoryXyz, 0.3418, 0.3757);
  EXPECT_EQ(p->outLut[2][255], Reindexed(p->baseLut, 2, 255, std::pow(factory.scale[2], 1 / 2.2) * 1.05));
}

TEST(TheaterLut, GainsAreKeptFromCrushingTheRamp) {
  auto p = RecordWithGains();
  FillIdentity(p->baseLut);
  // A panel so blue that the theatre white needs a tiny blue gain.
  for (int k = 0; k < 3; ++k) {
    p->nativeXyz[2][k] *= 30;
    p->nativeXyz[3][k] = p->nativeXyz[0][k] + p->nativeXyz[1][k] + p->nativeXyz[2][k];
  }
  const testing::Mix mix = testing::MixTo(p->nativeXyz, 0.3418, 0.3757);
  ASSERT_LT(std::pow(mix.scale[2], 1 / 2.2) * 1.05 * 255, 100);
  p->lutApiType = 3;
  TheaterLut(*p);
  EXPECT_EQ(p->outLut[2][255], 128 * 256);  // raised to the threshold 128
  p->lutApiType = 1;
  TheaterLut(*p);
  EXPECT_EQ(p->outLut[2][255], 102 * 256);
}

}  // namespace
}  // namespace kelvara
