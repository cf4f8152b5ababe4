// The ramp-building steps on small, hand-checked curves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "libs/kelvara/colour/lut_ops.h"
#include "libs/kelvara/colour/tests/test_luts.h"

namespace kelvara {
namespace {

using testing::FillIdentity;
using testing::FillPower;

void FillIdentity8(Lut8& lut) {
  for (int i = 0; i < kLutEntries; ++i) lut[i][0] = lut[i][1] = lut[i][2] = i;
}

TEST(ApplyGains, UnitGainsCopyAndHalfRedGainReadsEntry128) {
  Lut source;
  FillPower(source, 2.2);
  Lut out;
  const GainTriple unit{1, 1, 1};
  ApplyGains(source, unit, out);
  EXPECT_EQ(std::memcmp(out, source, sizeof out), 0);

  const GainTriple halfRed{0.5, 1, 1};
  ApplyGains(source, halfRed, out);
  EXPECT_EQ(out[0][255], source[0][128]);  // 127.5 rounds up
  EXPECT_EQ(out[0][100], source[0][50]);
  EXPECT_EQ(out[0][3], source[0][2]);      // 1.5 rounds up
  EXPECT_EQ(out[1][255], source[1][255]);

  // In place, as the solver and the modes use it.
  ApplyGains(source, halfRed, source);
  EXPECT_EQ(std::memcmp(out, source, sizeof out), 0);
}

TEST(ApplyGains, OutOfRangeGainsStayInsideTheLut) {
  Lut source;
  FillIdentity(source);
  Lut out;
  const GainTriple wild{1.05, -0.5, std::nan("")};
  ApplyGains(source, wild, out);
  EXPECT_EQ(out[0][255], source[0][255]);
  EXPECT_EQ(out[0][250], source[0][255]);  // 262.5 uses entry 255
  EXPECT_EQ(out[1][200], source[1][0]);
  EXPECT_EQ(out[2][200], source[2][0]);
}

TEST(CheckGain, RaisesLowGainsToTheThresholdOfTheInterface) {
  Lut identity;
  FillIdentity(identity);
  for (int type : {2, 3}) {
    GainTriple gains{0.2, 0.2, 0.2};
    CheckGain(gains, identity, type);
    EXPECT_DOUBLE_EQ(gains[0], 128 / 255.0) << type;
  }
  for (int type : {0, 1}) {
    GainTriple gains{0.2, 0.2, 0.2};
    CheckGain(gains, identity, type);
    EXPECT_DOUBLE_EQ(gains[2], 102 / 255.0) << type;
  }
}

TEST(CheckGain, LeavesSafeGainsAloneAndGivesUpAtTheTop) {
  Lut identity;
  FillIdentity(identity);
  GainTriple gains{0.7, 1.0, 1.2};
  CheckGain(gains, identity, 3);
  EXPECT_EQ(gains[0], 0.7);  // entry 179 is already above 128
  EXPECT_EQ(gains[1], 1.0);
  EXPECT_EQ(gains[2], 1.2);

  // A source that never reaches the threshold: the gain becomes exactly 1.
  Lut dark;
  for (auto& channel : dark) {
    for (int i = 0; i < kLutEntries; ++i) channel[i] = static_cast<uint16_t>(i * 100);  // 8-bit top is 100
  }
  GainTriple low{0.3, 0.3, 0.3};
  CheckGain(low, dark, 3);
  EXPECT_EQ(low[0], 1.0);
  // Its top entry (8-bit 100) is below the narrow threshold 102 as well.
  GainTriple narrow{0.3, 0.9, 0.3};
  CheckGain(narrow, dark, 1);
  EXPECT_EQ(narrow[0], 1.0);
  EXPECT_EQ(narrow[1], 1.0);
}

TEST(CheckGain, RoundsTheSourceToEightBitsBeforeComparing) {
  Lut source;
  FillIdentity(source);
  // Entry 60 holds 127.5 * 256: it rounds to 128 and passes the threshold.
  for (auto& channel : source) channel[60] = 127 * 256 + 128;
  for (auto& channel : source) channel[59] = 127 * 256 + 127;  // rounds to 127
  GainTriple gains{50 / 255.0, 50 / 255.0, 50 / 255.0};
  CheckGain(gains, source, 2);
  EXPECT_DOUBLE_EQ(gains[0], 60 / 255.0);
}

TEST(LutSmooth8Bit, IdentityIsLeftAsItIs) {
  Lut8 in, out;
  FillIdentity8(in);
  EXPECT_EQ(LutSmooth8Bit(in, out), 0);
  EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
}

TEST(LutSmooth8Bit, FarCurveIsNotChanged) {
  Lut8 in, out;
  for (int i = 0; i < kLutEntries; ++i) {
    in[i][0] = std::min(255, i + 13);         // 13 above at every level
    in[i][1] = std::max(0, i - 20);           // 20 below
    in[i][2] = i <= 29 ? i : std::max(0, i - 15);  // close only below SMOOTH_LEVEL_MIN
  }
  LutSmooth8Bit(in, out);
  EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
}

TEST(LutSmooth8Bit, RebuildsTheShadowsUpToWhereTheCurveMeetsTheIdentity) {
  Lut8 in, out;
  for (int i = 0; i < kLutEntries; ++i) {
    // Red: 5 above the identity from level 40 up, noisy below it.
    in[i][0] = i >= 40 ? std::min(255, i + 5) : (i * 7) % 13;
    // Green: 10 below everywhere above level 10.
    in[i][1] = i > 10 ? i - 10 : 0;
    // Blue: 20 above from 64 down to 41, 8 above at 40 and below.
    in[i][2] = i > 40 ? std::min(255, i + 20) : i + 8;
  }
  LutSmooth8Bit(in, out);
  // Red meets at 64 (diff 5, scatter 20): ceil(25 / 20 * k) up to k = 20,
  // then one step a level, ending on the curve.
  for (int k = 0; k <= 20; ++k) EXPECT_EQ(out[k][0], static_cast<int>(std::ceil(1.25 * k))) << k;
  for (int k = 21; k <= 64; ++k) EXPECT_EQ(out[k][0], 25 + (k - 20)) << k;
  EXPECT_EQ(out[64][0], in[64][0]);
  // Green (diff 10 below, scatter 30): floor(k * 20 / 30).
  for (int k = 0; k <= 30; ++k) EXPECT_EQ(out[k][1], k * 20 / 30) << k;
  EXPECT_EQ(out[64][1], in[64][1]);
  // Blue is first close at level 40 (diff 8, scatter 20).
  for (int k = 0; k <= 20; ++k) EXPECT_EQ(out[k][2], static_cast<int>(std::ceil(28 / 20.0 * k))) << k;
  EXPECT_EQ(out[40][2], in[40][2]);
  EXPECT_EQ(out[41][2], in[41][2]);
  // Above the meeting level nothing changes.
  for (int k = 65; k < kLutEntries; ++k) EXPECT_EQ(out[k][0], in[k][0]);
}

TEST(LutLinInterp8Bit, KeepsEverySixteenthEntryAndDrawsLinesBetween) {
  Lut8 in, out;
  for (int i = 0; i < kLutEntries; ++i) {
    in[i][0] = static_cast<int>(std::lround(255 * std::pow(i / 255.0, 0.8)));
    in[i][1] = (i * 37) % 256;
    in[i][2] = 255 - i;
  }
  for (int step : {16, 0, -4, 65}) {
    std::memset(out, 0xff, sizeof out);
    EXPECT_EQ(LutLinInterp8Bit(step, in, out), 0);
    for (int s = 0; s <= 240; s += 16) {
      for (int c = 0; c < 3; ++c) EXPECT_EQ(out[s][c], in[s][c]) << s;
    }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out[255][c], in[255][c]);
    // Entry 8 halfway between 0 and 16, entry 250 on the last, shorter
    // segment 240 .. 255.
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(out[8][c], static_cast<int>((in[16][c] - in[0][c]) / 2.0 + in[0][c] + 0.5));
      EXPECT_EQ(out[250][c], static_cast<int>((in[255][c] - in[240][c]) / 15.0 * 10 + in[240][c] + 0.5));
    }
  }
}

TEST(LutLinInterp8Bit, OtherStepsRedrawTheFirstSixteenEntriesOnOneLine) {
  Lut8 in, out;
  for (int i = 0; i < kLutEntries; ++i) in[i][0] = in[i][1] = in[i][2] = (i * i) / 255;
  LutLinInterp8Bit(8, in, out);
  EXPECT_EQ(out[24][0], in[24][0]);
  EXPECT_EQ(out[20][0], static_cast<int>((in[24][0] - in[16][0]) / 8.0 * 4 + in[16][0] + 0.5));
  // Entry 8 is a kept entry of step 8, but lies on the 0 .. 16 line.
  EXPECT_EQ(out[8][0], static_cast<int>((in[16][0] - in[0][0]) / 16.0 * 8 + in[0][0] + 0.5));
  EXPECT_NE(out[8][0], in[8][0]);
}

TEST(LutBrightCtrl, FactorIsClampedAndOneLeavesTheLut) {
  Lut lut, old;
  FillPower(lut, 2.2);
  std::memcpy(old, lut, sizeof lut);
  LutBrightCtrl(lut, 1.0);
  EXPECT_EQ(std::memcmp(lut, old, sizeof lut), 0);
  LutBrightCtrl(lut, 1.7);
  EXPECT_EQ(std::memcmp(lut, old, sizeof lut), 0);

  LutBrightCtrl(lut, 0.2);  // behaves as 0.4
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(lut[c][255], old[c][102]);
    EXPECT_EQ(lut[c][100], old[c][40]);
    EXPECT_EQ(lut[c][0], old[c][0]);
  }
}

TEST(LutConvert, SrgbResamplingInterpolatesAlongTheEncodingCurve) {
  Lut lut;
  for (auto& channel : lut) {
    for (int i = 0; i < kLutEntries; ++i) channel[i] = static_cast<uint16_t>(i * 100);
  }
  lut[1][13] = 5000;  // a bump in green between 12 and 13
  Lut out;
  EXPECT_EQ(LutConvert(1, &lut, &out), 0);
  EXPECT_EQ(out[0][0], 0);
  EXPECT_EQ(out[0][255], 25500);
  // 1/255 lies above 0.0031308: position 255 * (1.055 * (1/255)^(1/2.4) - 0.055).
  const double position = 255 * (1.055 * std::pow(1 / 255.0, 1 / 2.4) - 0.055);
  ASSERT_GT(position - 12, 0.709);
  ASSERT_LT(position - 12, 0.710);
  EXPECT_EQ(out[0][1], 1271);  // 1200 + 0.709 * 100
  EXPECT_EQ(out[1][1], static_cast<int>(1200 + (5000 - 1200) * (position - 12) + 0.5));
  // Entry 128 reads position 255 * 0.73667 = 187.85 of the old ramp.
  EXPECT_NEAR(out[2][128], 18785, 1);

  // In place gives the same result.
  EXPECT_EQ(LutConvert(1, &lut, &lut), 0);
  EXPECT_EQ(std::memcmp(lut, out, sizeof lut), 0);
}

TEST(LutConvert, OtherTypesLeaveTheLutAndReportErrors) {
  Lut lut, out, old;
  FillPower(lut, 1.8);
  std::memcpy(old, lut, sizeof lut);
  FillIdentity(out);
  for (int type : {0, 2, 3}) {
    EXPECT_EQ(LutConvert(type, &lut, &out), 0);
    EXPECT_EQ(out[0][100], 100 * 256);  // not even copied
  }
  EXPECT_EQ(LutConvert(4, &lut, &lut), kCctBadLutApiType);
  EXPECT_EQ(LutConvert(-1, &lut, &lut), kCctBadLutApiType);
  EXPECT_EQ(std::memcmp(lut, old, sizeof lut), 0);
  EXPECT_EQ(LutConvert(1, nullptr, &lut), kCctNullLut);
  EXPECT_EQ(LutConvert(1, &lut, nullptr), kCctNullLut);
  EXPECT_EQ(LutConvert(4, nullptr, nullptr), kCctBadLutApiType);
}

}  // namespace
}  // namespace kelvara
