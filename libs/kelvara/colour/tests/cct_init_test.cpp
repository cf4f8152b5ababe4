// Full gain initialisations through CCTAPI on calibration blocks built here
// byte by byte, checked against gains derived independently: the mix of the
// primaries that reaches each target (Cramer's rule), the CCT formula, and
// the brute-force gamma reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "libs/kelvara/colour/cct_api.h"
#include "libs/kelvara/colour/gain_solver.h"
#include "libs/kelvara/colour/mode_luts.h"
#include "libs/kelvara/colour/tests/calibration_fixture.h"
#include "libs/kelvara/colour/tests/gamma_reference.h"
#include "libs/kelvara/colour/tests/test_luts.h"

namespace kelvara {
namespace {

using testing::CalibrationBlock;
using testing::FakeCalibrationSource;

constexpr Chromaticity kDefaultWhite{0.304670011, 0.319584911};
constexpr int kGreyLevels5[5] = {42, 86, 128, 168, 210};

double F(double v) { return static_cast<float>(v); }  // as the block stores it

int CctOf(double x, double y) {
  const double n = (x - 0.332) / (0.1858 - y);
  const int cct = static_cast<int>(437 * n * n * n + 3601 * n * n + 6831 * n + 5517 + 0.5);
  return std::clamp(cct, 2222, 13000);
}

Chromaticity ChromaticityOfWhite(const double (&xyz)[4][3]) {
  const double sum = xyz[3][0] + xyz[3][1] + xyz[3][2];
  return {xyz[3][0] / sum, xyz[3][1] / sum};
}

Chromaticity OffsetDaylight(int cct) {
  GainSolver scratch;
  return OffsetDaylightLocus(cct, scratch);
}

void ExpectGainsTo(const double (&xyz)[4][3], Chromaticity target, const double (&gains)[3], const char* what) {
  const testing::Mix mix = testing::MixTo(xyz, target.x, target.y);
  for (int p = 0; p < 3; ++p) {
    EXPECT_NEAR(gains[p], std::pow(mix.scale[p], 1 / 2.2), 1e-9) << what << " channel " << p;
    if (mix.scale[p] == 1.0) {
      EXPECT_EQ(gains[p], 1.0) << what;
    }
  }
}

// The measured panel as a version-5 block stores its grey levels: channel c
// follows (level / 255)^(2.2 + 0.1 c) above a shared black.
struct GreyData {
  double grey[3][5][3];
  double black[3];
};

GreyData PanelGreyLevels() {
  const testing::Panel panel = testing::MeasuredPanel();
  GreyData d;
  for (int k = 0; k < 3; ++k) d.black[k] = F(0.002 * panel.xyz[3][k]);
  for (int c = 0; c < 3; ++c) {
    for (int n = 0; n < 5; ++n) {
      for (int k = 0; k < 3; ++k) {
        d.grey[c][n][k] = F(d.black[k] + (panel.xyz[c][k] - d.black[k]) * std::pow(kGreyLevels5[n] / 255.0, 2.2 + 0.1 * c));
      }
    }
  }
  return d;
}

// The expected factory ramp of those grey levels, as 16-bit entries.
void ExpectedFactoryRamp(const GreyData& d, Lut& lut) {
  const testing::Panel panel = testing::MeasuredPanel();
  GammaFitInput fit;
  for (int c = 0; c < 3; ++c) {
    for (int k = 0; k < 3; ++k) {
      fit.xyz[c][0][k] = d.black[k];
      for (int n = 0; n < 5; ++n) fit.xyz[c][n + 1][k] = d.grey[c][n][k];
      fit.xyz[c][6][k] = panel.xyz[c][k];
    }
  }
  int levels[256][3];
  testing::GammaReference(fit, levels);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i) lut[c][i] = static_cast<uint16_t>(levels[i][c] * 256);
  }
}

// A gamma ramp with flat and double steps (green rises twice as fast up to
// level 20 and stays flat from 200 to 219), and its method-1 string: one
// group of the positions with step 0, one of those with step 2.
struct DesignedSteps {
  std::vector<uint8_t> flat[3] = {{10, 20}, {}, {5}};
  std::vector<uint8_t> doubled[3] = {{100, 200}, {}, {250}};
  DesignedSteps() {
    for (int i = 1; i <= 20; ++i) doubled[1].push_back(static_cast<uint8_t>(i));
    for (int i = 200; i <= 219; ++i) flat[1].push_back(static_cast<uint8_t>(i));
  }
};

void DesignedRamp(Lut& lut) {
  const DesignedSteps steps;
  for (int c = 0; c < 3; ++c) {
    int value = 0;
    for (int i = 0; i < 256; ++i) {
      int delta = i == 0 ? 0 : 1;
      for (uint8_t at : steps.flat[c]) delta = at == i ? 0 : delta;
      for (uint8_t at : steps.doubled[c]) delta = at == i ? 2 : delta;
      value += delta;
      lut[c][i] = static_cast<uint16_t>(value * 256);
    }
  }
}

std::vector<uint8_t> DesignedRampString() {
  const DesignedSteps steps;
  std::vector<uint8_t> text = {0};
  for (const auto* group : {steps.flat, steps.doubled}) {
    for (int c = 0; c < 3; ++c) text.push_back(static_cast<uint8_t>(group[c].size()));
    for (int c = 0; c < 3; ++c) text.insert(text.end(), group[c].begin(), group[c].end());
  }
  text[0] = static_cast<uint8_t>(text.size());
  return text;
}

std::unique_ptr<CctParams> Record() {
  auto p = std::make_unique<CctParams>();
  std::memset(p.get(), 0, sizeof(CctParams));
  testing::SetNative(*p, testing::SrgbLikePanel());
  testing::FillIdentity(p->baseLut);
  p->interval = 1.0;
  p->brightness = 1.0;
  p->RDLevels = 3;
  return p;
}

class CctInitTest : public ::testing::Test {
 protected:
  int32_t Api(int32_t request, CctParams* p) { return RunCctApi(request, p, {source_, {}}); }

  // The four gains that follow the default one: warm and cold 1000 K either
  // side of its CCT on the offset daylight locus, and the reading targets
  // from its white.
  void ExpectFactoryGainsAround(const CctParams& p, Chromaticity achieved) {
    const int t = CctOf(achieved.x, achieved.y);
    ExpectGainsTo(p.factoryXyz, OffsetDaylight(t - 1000), p.warmGain, "warm");
    ExpectGainsTo(p.factoryXyz, OffsetDaylight(t + 1000), p.coldGain, "cold");
    const ReadingPair reading = ReadingTargets(achieved);
    ExpectGainsTo(p.factoryXyz, reading.weak, p.readWeakGain, "weak");
    ExpectGainsTo(p.factoryXyz, reading.strong, p.readStrongGain, "strong");
  }

  FakeCalibrationSource source_;
};

TEST_F(CctInitTest, WithoutFactoryDataGainsComeFromTheIccPrimaries) {
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  EXPECT_EQ(p->hasFactoryData, 0);
  EXPECT_EQ(p->hasGammaLut, 0);
  EXPECT_EQ(p->dataVersion, -1);
  EXPECT_EQ(p->lastError, 0);
  EXPECT_EQ(p->iccType, 1);

  const Chromaticity white = ChromaticityOfWhite(p->nativeXyz);
  const int native = CctOf(white.x, white.y);
  ExpectGainsTo(p->nativeXyz, OffsetDaylight(native - 1000), p->warmGain, "warm");
  ExpectGainsTo(p->nativeXyz, OffsetDaylight(native + 1000), p->coldGain, "cold");
  for (double g : p->defGain) EXPECT_EQ(g, 1.0);
  const ReadingPair reading = ReadingTargets(white);
  ExpectGainsTo(p->nativeXyz, reading.weak, p->readWeakGain, "weak");
  ExpectGainsTo(p->nativeXyz, reading.strong, p->readStrongGain, "strong");

  // Default white is the panel's own ramp; the warm end re-indexes it.
  ASSERT_EQ(Api(CCTAPI_GET_LUT, p.get()), 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(p->outLut[1][i], i * 256);
  p->interval = 0.5;
  Api(CCTAPI_GET_LUT, p.get());
  for (int c = 0; c < 3; ++c) EXPECT_EQ(p->outLut[c][255], static_cast<int>(255 * p->warmGain[c] + 0.5) * 256);
}

TEST_F(CctInitTest, Version0BlockSolvesTheDefaultWhiteOnTheMeasuredPrimaries) {
  const testing::Panel panel = testing::MeasuredPanel();
  source_.ServeFirmware(CalibrationBlock(0).FullDrive(panel.xyz).Bytes());
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  ASSERT_EQ(p->hasFactoryData, 1);
  EXPECT_EQ(p->dataVersion, 0);
  EXPECT_EQ(p->hasGammaLut, 0);
  EXPECT_EQ(std::memcmp(p->factoryXyz, panel.xyz, sizeof p->factoryXyz), 0);

  // The perceptual floor for a 300-nit white (263.7) is below what the
  // default white allows, so the target is met exactly.
  const double floor = std::pow(std::pow(300.0, 0.4) - (std::pow(220.0, 0.4) - std::pow(190.0, 0.4)), 2.5);
  ASSERT_GT(testing::MixTo(panel.xyz, kDefaultWhite.x, kDefaultWhite.y).luminance, floor);
  ExpectGainsTo(p->factoryXyz, kDefaultWhite, p->defGain, "default");
  ExpectFactoryGainsAround(*p, kDefaultWhite);

  // Factory data but no factory ramp: the LUTs come from the panel's ramp.
  ASSERT_EQ(Api(CCTAPI_GET_LUT, p.get()), 0);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(p->outLut[c][255], static_cast<int>(255 * p->defGain[c] + 0.5) * 256);
}

TEST_F(CctInitTest, Version4BlockHoldsTheFactoryLuminanceOnTheWayToItsTarget) {
  const testing::Panel panel = testing::MeasuredPanel();
  // 285 nits cannot be kept at D65 on this panel (279 at most): the target
  // moves toward the panel's white until 285 nits are reachable.
  source_.ServeFirmware(CalibrationBlock(4).FullDrive(panel.xyz).Target(285, 0.3127, 0.3290).Bytes());
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  ASSERT_EQ(p->hasFactoryData, 1);
  EXPECT_EQ(p->dataVersion, 4);
  const Chromaticity target{F(0.3127), F(0.3290)};
  ASSERT_LT(testing::MixTo(panel.xyz, target.x, target.y).luminance, 285);

  double x, y;
  testing::MixedWhite(p->factoryXyz, p->defGain, x, y);
  const Chromaticity white = ChromaticityOfWhite(p->factoryXyz);
  EXPECT_NEAR((target.x - white.x) * (y - white.y) - (target.y - white.y) * (x - white.x), 0, 1e-9);
  EXPECT_GT(x, target.x < white.x ? target.x : white.x);
  EXPECT_LT(x, target.x < white.x ? white.x : target.x);
  double luminance = 0;
  for (int c = 0; c < 3; ++c) luminance += std::pow(p->defGain[c], 2.2) * panel.xyz[c][1];
  EXPECT_GE(luminance, 285 - 1e-9);
  EXPECT_LE(luminance, 286);
  ExpectGainsTo(p->factoryXyz, {x, y}, p->defGain, "default");
  ExpectFactoryGainsAround(*p, {x, y});
}

TEST_F(CctInitTest, Version5BlockFitsTheFactoryRamp) {
  const testing::Panel panel = testing::MeasuredPanel();
  const GreyData grey = PanelGreyLevels();
  source_.ServeFirmware(
      CalibrationBlock(5).FullDrive(panel.xyz).Target(250, 0.3127, 0.3290).GreyLevels(grey.grey, grey.black).Bytes());
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  ASSERT_EQ(p->hasFactoryData, 1);
  EXPECT_EQ(p->dataVersion, 5);
  ASSERT_EQ(p->hasGammaLut, 1);
  Lut expected;
  ExpectedFactoryRamp(grey, expected);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i) EXPECT_EQ(p->gammaLut[c][i], expected[c][i]) << c << " " << i;
  }
  // 250 nits are reachable at D65: the target itself.
  ExpectGainsTo(p->factoryXyz, {F(0.3127), F(0.3290)}, p->defGain, "default");
  ExpectFactoryGainsAround(*p, {F(0.3127), F(0.3290)});

  // LUT requests now start from the factory ramp.
  ASSERT_EQ(Api(CCTAPI_READING_MODE_STRONG, p.get()), 0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(p->outLut[c][255], expected[c][static_cast<int>(255 * p->readStrongGain[c] + 0.5)]);
  }
}

TEST_F(CctInitTest, Version5BlockWithAZeroAtFullDriveKeepsTheRampOff) {
  testing::Panel panel = testing::MeasuredPanel();
  panel.xyz[0][2] = 0;  // red Z measured as 0
  panel.xyz[3][2] = panel.xyz[1][2] + panel.xyz[2][2];
  const GreyData grey = PanelGreyLevels();
  source_.ServeFirmware(CalibrationBlock(5).FullDrive(panel.xyz).GreyLevels(grey.grey, grey.black).Bytes());
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  ASSERT_EQ(p->hasFactoryData, 1);
  EXPECT_EQ(p->hasGammaLut, 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(p->gammaLut[2][i], i * 256);
  for (double g : p->defGain) EXPECT_TRUE(std::isfinite(g));
}

TEST_F(CctInitTest, Version6BlockDecodesItsGammaString) {
  const testing::Panel panel = testing::MeasuredPanel();
  const GreyData grey = PanelGreyLevels();
  source_.ServeFirmware(CalibrationBlock(6)
                            .FullDrive(panel.xyz)
                            .Target(250, 0.3127, 0.3290)
                            .GreyLevels(grey.grey, grey.black)
                            .GammaString(1, DesignedRampString())
                            .Bytes());
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  EXPECT_EQ(p->dataVersion, 6);
  ASSERT_EQ(p->hasGammaLut, 1);
  Lut designed;
  DesignedRamp(designed);
  EXPECT_EQ(std::memcmp(p->gammaLut, designed, sizeof designed), 0);  // decoded, not fitted
  ExpectGainsTo(p->factoryXyz, {F(0.3127), F(0.3290)}, p->defGain, "default");

  p->interval = 1.5;
  ASSERT_EQ(Api(CCTAPI_GET_LUT, p.get()), 0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(p->outLut[c][200], designed[c][static_cast<int>(200 * p->coldGain[c] + 0.5)]) << c;
  }
}

TEST_F(CctInitTest, Version6BlockWithABrokenStringFallsBackToTheFit) {
  const testing::Panel panel = testing::MeasuredPanel();
  const GreyData grey = PanelGreyLevels();
  source_.ServeFirmware(CalibrationBlock(6)
                            .FullDrive(panel.xyz)
                            .Target(250, 0.3127, 0.3290)
                            .GreyLevels(grey.grey, grey.black)
                            .GammaString(0, {5, 0x20, 0xFF, 0xFF, 0xFF})  // table version 2
                            .Bytes());
  auto p = Record();
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  EXPECT_EQ(p->dataVersion, 5);
  ASSERT_EQ(p->hasGammaLut, 1);
  Lut expected;
  ExpectedFactoryRamp(grey, expected);
  EXPECT_EQ(std::memcmp(p->gammaLut, expected, sizeof expected), 0);
}

// The 8-bit LUT redrawn with step 8: every 8th entry kept, straight lines
// between, and one line over entries 0 .. 16.
void ExpectStep8(const int (&before)[256], const uint16_t (&out)[256], int channel) {
  int changed = 0;
  for (int i = 0; i < 256; ++i) {
    int expected = before[i];
    if (i > 0 && i < 16) {
      expected = static_cast<int>((before[16] - before[0]) / 16.0 * i + before[0] + 0.5);
    } else if (i % 8 != 0 && i != 255) {
      const int s = i / 8 * 8, e = std::min(s + 8, 255);
      expected = static_cast<int>(static_cast<double>(before[e] - before[s]) / (e - s) * (i - s) + before[s] + 0.5);
    }
    EXPECT_EQ(out[i], expected * 256) << "channel " << channel << " entry " << i;
    changed += expected != before[i];
  }
  if (channel == 1) {
    EXPECT_GT(changed, 4);  // the kinks at 20, 200 and 219 are straightened
  }
}

TEST_F(CctInitTest, Version7BlockRedrawsLutsWithItsStep) {
  const testing::Panel panel = testing::MeasuredPanel();
  const GreyData grey = PanelGreyLevels();
  const std::vector<uint8_t> block = CalibrationBlock(7)
                                         .FullDrive(panel.xyz)
                                         .Target(250, 0.3127, 0.3290)
                                         .GreyLevels(grey.grey, grey.black)
                                         .GammaString(1, DesignedRampString(), 8)
                                         .Bytes();
  source_.ServeFile("calibration/panel.bin", block);
  auto p = Record();
  p->useFile = 1;
  p->dataDir = "calibration/";
  p->dataFile = "panel.bin";
  ASSERT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  EXPECT_EQ(p->dataVersion, 7);
  Lut designed;
  DesignedRamp(designed);
  ASSERT_EQ(std::memcmp(p->gammaLut, designed, sizeof designed), 0);

  int before[3][256];
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i) before[c][i] = designed[c][static_cast<int>(i * p->readWeakGain[c] + 0.5)] >> 8;
  }
  ASSERT_EQ(Api(CCTAPI_READING_MODE_WEAK, p.get()), 0);
  for (int c = 0; c < 3; ++c) ExpectStep8(before[c], p->outLut[c], c);

  // The step is read again for every LUT: without the file the LUT is left
  // as the mode built it.
  source_.RemoveFile("calibration/panel.bin");
  ASSERT_EQ(Api(CCTAPI_READING_MODE_WEAK, p.get()), 0);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i) EXPECT_EQ(p->outLut[c][i], before[c][i] * 256) << c << " " << i;
  }
  EXPECT_EQ(p->lastError, kCctNoCalibrationFile);
}

TEST_F(CctInitTest, CalibrationFileErrorsAreReportedAndTheIccDataUsed) {
  auto p = Record();
  p->useFile = 1;
  p->dataDir = "D:\\factory\\";
  p->dataFile = "panel.bin";
  EXPECT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), kCctNoCalibrationFile);
  EXPECT_EQ(p->lastError, kCctNoCalibrationFile);
  EXPECT_EQ(p->hasFactoryData, 0);
  for (double g : p->defGain) EXPECT_EQ(g, 1.0);
  const Chromaticity white = ChromaticityOfWhite(p->nativeXyz);
  ExpectGainsTo(p->nativeXyz, OffsetDaylight(CctOf(white.x, white.y) - 1000), p->warmGain, "warm");

  const testing::Panel panel = testing::MeasuredPanel();
  std::vector<uint8_t> block = CalibrationBlock(0).FullDrive(panel.xyz).Bytes();
  block[20] ^= 1;  // not covered by the stored CRC any more
  source_.ServeFile("D:\\factory\\panel.bin", block);
  EXPECT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), kCctBadCalibrationFile);
  EXPECT_EQ(p->hasFactoryData, 0);

  block[20] ^= 1;
  source_.ServeFile("D:\\factory\\panel.bin", block);
  EXPECT_EQ(Api(CCTAPI_INIT_GAIN, p.get()), 0);
  EXPECT_EQ(p->hasFactoryData, 1);
  EXPECT_EQ(p->lastError, 0);
}

}  // namespace
}  // namespace kelvara
