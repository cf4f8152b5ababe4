// The log function, the profile name and the driver records.
#include <gtest/gtest.h>

#include <string>

#include "plugins/tintora/colour_space.h"
#include "plugins/tintora/gamma_records.h"
#include "plugins/tintora/profile_name.h"
#include "plugins/tintora/profile_tags.h"
#include "plugins/tintora/tests/log_lines.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

using zu::testing::RecordingLogger;

class WriteLogTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWriteLogLogger(&log_); }
  void TearDown() override { SetWriteLogLogger(nullptr); }
  RecordingLogger log_;
};

TEST_F(WriteLogTest, InfoAndErrorReachTheLoggerDebugAndWarningDoNot) {
  WriteLog(kWriteLogDebug, "debug %d", 1);
  WriteLog(kWriteLogInfo, "info %d %s", 2, "two");
  WriteLog(kWriteLogWarning, "warning");
  WriteLog(kWriteLogError, "error %u", 3u);
  WriteLog(7, "unknown level");
  const auto calls = log_.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].level, zu::kLogInfo);
  EXPECT_EQ(calls[0].component, "Tintora");
  EXPECT_EQ(calls[0].message, "info 2 two");
  EXPECT_EQ(calls[1].level, zu::kLogError);
  EXPECT_EQ(calls[1].message, "error 3");
}

TEST_F(WriteLogTest, LinesNameTheStepAndSiteAndAreCutAt511Characters) {
  TINTORA_LOG(kWriteLogInfo, "parseICC", "icc file_path : %s", "C:\\x.icm");
  const std::string message = log_.messages().at(0);
  EXPECT_EQ(message.rfind("Tintora [parseICC][", 0), 0u);
  EXPECT_EQ(testing::WithoutSite(message), "Tintora [parseICC] icc file_path : C:\\x.icm");

  WriteLog(kWriteLogInfo, "%s", std::string(600, 'x').c_str());
  EXPECT_EQ(log_.messages().at(1), std::string(kWriteLogBufferSize - 1, 'x'));

  SetWriteLogLogger(nullptr);
  WriteLog(kWriteLogError, "nobody listens");
  EXPECT_EQ(log_.calls().size(), 2u);
}

TEST(ProfileName, BoardVendorAndPanelFromTheEdid) {
  uint8_t edid[kEdidBufferSize] = {};
  edid[8] = 0x06;
  edid[9] = 0xAF;
  edid[10] = 0x3D;
  edid[11] = 0x12;
  EXPECT_EQ(PanelIdFromEdid(edid), "AF06123D");
  const GraphicsPlatform intel = GraphicsPlatformFor("GenuineIntel");
  EXPECT_EQ(intel.vendorId, "8086");
  EXPECT_EQ(intel.gpuPath, kGpuIntel);
  EXPECT_EQ(BuildProfileName("X1", intel.vendorId, PanelIdFromEdid(edid)), "X1_8086_AF06123D.icm");

  // Any other vendor text, an unreadable one included, means AMD.
  for (const char* vendor : {"AuthenticAMD", "", "GenuineIntel ", "genuineintel"}) {
    const GraphicsPlatform other = GraphicsPlatformFor(vendor);
    EXPECT_EQ(other.vendorId, "1002") << vendor;
    EXPECT_EQ(other.gpuPath, kGpuAmd) << vendor;
  }
  const uint8_t blank[kEdidBufferSize] = {};
  EXPECT_EQ(BuildProfileName("", "1002", PanelIdFromEdid(blank)), "_1002_00000000.icm");
}

TEST(ColourSpace, D50ToD65UsesTheFixedCoefficients) {
  const Xyz red = D50ToD65({0.4361, 0.2225, 0.0139});
  EXPECT_DOUBLE_EQ(red.X, 0.955514 * 0.4361 - 0.02307 * 0.2225 + 0.063306 * 0.0139);
  EXPECT_DOUBLE_EQ(red.Y, -0.02832 * 0.4361 + 1.009943 * 0.2225 + 0.021053 * 0.0139);
  EXPECT_DOUBLE_EQ(red.Z, 0.012328 * 0.4361 - 0.02053 * 0.2225 + 1.330697 * 0.0139);
  EXPECT_NEAR(red.X, 0.4124465, 5e-7);
  EXPECT_NEAR(red.Y, 0.2126546, 5e-7);
  EXPECT_NEAR(red.Z, 0.0193050, 5e-7);
}

TEST(DriverRecords, RampsAreCopiedUnchanged) {
  Ramp lut;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) lut[c][i] = static_cast<uint16_t>(i * 256 + c * 7 + (i == 255 ? 255 : 0));
  const IntelGammaRamp intel = MakeIntelRamp(lut);
  const AdlRegamma amd = MakeRegamma(lut);
  EXPECT_EQ(amd.feature, 0x10);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(intel.entries[c][i], lut[c][i]);
      EXPECT_EQ(amd.ramp[c][i], lut[c][i]);
    }
  for (int32_t k : amd.coefficients) EXPECT_EQ(k, 0);

  uint16_t identity[3][256];
  FillIdentityRamp(identity);
  const IntelGammaRamp flat = MakeIntelRamp(identity);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(flat.entries[c][0], 0);
    EXPECT_EQ(flat.entries[c][1], 256);
    EXPECT_EQ(flat.entries[c][255], 65280);
  }
}

TEST(DriverRecords, OnlyAMappedDisplayOfTheAdapterIsProgrammed) {
  AdlDisplayInfo display{};
  display.logicalAdapterIndex = 3;
  display.infoValue = kAdlDisplayMapped;
  EXPECT_TRUE(IsMappedDisplayOf(display, 3));
  EXPECT_FALSE(IsMappedDisplayOf(display, 4));
  display.infoValue = 0x1;  // connected, not mapped
  EXPECT_FALSE(IsMappedDisplayOf(display, 3));
}

TEST(FileNames, ASecondProfileNameStaysInItsFolder) {
  EXPECT_TRUE(IsPlainFileName("panel_srgb.icm"));
  EXPECT_TRUE(IsPlainFileName("a b.icc"));
  for (const char* bad : {"", ".", "..", "..\\x.icm", "a/b.icm", "C:x.icm", "\\\\server\\x", "a\tb"})
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
}

}  // namespace
}  // namespace tintora
