// The platform's calibration source under Windows: calibration files, the
// monitors' EDID as SetupAPI finds them, and the import through them.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/win/unique_hkey.h"
#include "base/win/utf.h"
#include "libs/kelvara/calibration/calibration_reader.h"
#include "libs/kelvara/calibration/tests/block_builder.h"
#include "libs/kelvara/calibration/tests/win_test_support.h"
#include "libs/kelvara/calibration/win/system_calibration_source.h"
#include "testing/win/temp_dir.h"

namespace kelvara {
namespace {

using testing::Bytes;
using testing::CalibrationBlockBuilder;

using testing::MonitorEdid;
using testing::TraceRecorder;

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(CalibrationFiles, ReadUpToOneBlock) {
  zu::testing::TempDir dir;
  Bytes big(600);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
  WriteFile(dir.path() / "big.bin", big);
  WriteFile(dir.path() / "short.bin", Bytes(big.begin(), big.begin() + 100));
  WriteFile(dir.path() / L"\u00e9talonnage.bin", Bytes(10, 0x41));
  const std::string base = dir.str() + "\\";

  std::vector<uint8_t> data;
  EXPECT_TRUE(CanOpenCalibrationFile(base + "big.bin"));
  ASSERT_TRUE(ReadCalibrationFile(base + "big.bin", 512, &data));
  EXPECT_EQ(data, Bytes(big.begin(), big.begin() + 512));
  ASSERT_TRUE(ReadCalibrationFile(base + "short.bin", 512, &data));
  EXPECT_EQ(data.size(), 100u);
  ASSERT_TRUE(ReadCalibrationFile(base + "\xc3\xa9talonnage.bin", 512, &data));  // UTF-8 path
  EXPECT_EQ(data.size(), 10u);

  EXPECT_FALSE(CanOpenCalibrationFile(base + "missing.bin"));
  EXPECT_FALSE(ReadCalibrationFile(base + "missing.bin", 512, &data));
  EXPECT_TRUE(data.empty());
  EXPECT_FALSE(CanOpenCalibrationFile(dir.str()));  // a directory is no file
}

TEST(MonitorEdids, ReadFromTheMonitorDeviceKey) {
  TraceRecorder traces;
  ASSERT_TRUE(traces.installed());
  // Wine's monitor has only a "BAD_EDID" value: not the one looked for.
  EdidStore store = GetEdidData();
  for (const auto& slot : store.slots) EXPECT_TRUE(slot.empty());
  EXPECT_EQ(traces.text(), "QOV: Start GetEdidData()\nQOV: End GetEdidData()\n");

  MonitorEdid monitor;
  Bytes edid = testing::MakeEdid(testing::kPanelIdentity);
  edid.resize(256, 0x70);  // with one extension block
  ASSERT_TRUE(monitor.Set(edid));
  store = GetEdidData();
  EXPECT_EQ(store.slots[0], edid);

  ASSERT_TRUE(monitor.Set(Bytes(1100, 0x33)));
  store = GetEdidData();
  EXPECT_EQ(store.slots[0], Bytes(1024, 0x33));  // one slot's worth
}

TEST(SystemSource, ImportsAFileBlockForTheAttachedMonitor) {
  zu::testing::TempDir dir;
  WriteFile(dir.path() / "panel.bin", CalibrationBlockBuilder(7).Build());
  const std::string base = dir.str() + "\\";
  CctParams params{};
  params.useFile = 1;
  params.dataDir = base.c_str();
  params.dataFile = "panel.bin";
  FactoryTarget target;
  GammaFitInput fit;

  MonitorEdid monitor;
  ASSERT_TRUE(monitor.Set(testing::MakeEdid(testing::kPanelIdentity)));
  CCTAPI_ERRORCODE = 0;
  ::testing::internal::CaptureStdout();
  GetBIOSInfo(&params, &target, &fit, SystemCalibrationSource());
  std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(CCTAPI_ERRORCODE, 0);
  EXPECT_EQ(params.hasFactoryData, 1);
  EXPECT_EQ(params.dataVersion, 7);
  EXPECT_NE(printed.find("CCTLoadBIOS = " + base + "panel.bin \n"), std::string::npos);

  // Another monitor: the block is not for it.
  ASSERT_TRUE(monitor.Set(testing::MakeEdid({0x10, 0xAC, 0x01, 0x02})));
  ::testing::internal::CaptureStdout();
  GetBIOSInfo(&params, &target, &fit, SystemCalibrationSource());
  printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(CCTAPI_ERRORCODE, kCctBadCalibrationFile);
  EXPECT_EQ(params.hasFactoryData, 0);
  EXPECT_NE(printed.find("EDID Check Error\n"), std::string::npos);

  params.dataFile = "gone.bin";
  CCTAPI_ERRORCODE = 0;
  ::testing::internal::CaptureStdout();
  GetBIOSInfo(&params, &target, &fit, SystemCalibrationSource());
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(CCTAPI_ERRORCODE, kCctNoCalibrationFile);
  EXPECT_EQ(params.dataVersion, -1);
  CCTAPI_ERRORCODE = 0;
}

}  // namespace
}  // namespace kelvara
