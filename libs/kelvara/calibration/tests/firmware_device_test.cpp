// The firmware path through the simulated ACPI control device: the "SCDG"
// exchange for both selectors, its failures and the no-data marker, and the
// import of a firmware block through the platform's source.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "libs/kelvara/calibration/calibration_reader.h"
#include "libs/kelvara/calibration/firmware_reply.h"
#include "libs/kelvara/calibration/tests/block_builder.h"
#include "libs/kelvara/calibration/tests/win_test_support.h"
#include "libs/kelvara/calibration/win/system_calibration_source.h"
#include "tools/simlaptop/sim_acpi.h"

namespace kelvara {
namespace {

using testing::Bytes;
using testing::CalibrationBlockBuilder;
namespace simacpi = zu::simacpi;

constexpr const char* kUninitialize =
    "QOV: Enter UninitializeVORTAACPIDevice()\nQOV: Exit UninitializeVORTAACPIDevice()\n";

class FirmwareDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_.ready()); }

  // FirmwareReadBlock into a buffer pre-filled with 0xEE.
  int Read(int32_t method) {
    block_.assign(512, 0xEE);
    ::testing::internal::CaptureStdout();
    const int result = FirmwareReadBlock(method, block_.data());
    printed_ = ::testing::internal::GetCapturedStdout();
    return result;
  }

  simacpi::Scope device_;
  testing::TraceRecorder traces_;
  Bytes block_;
  std::string printed_;
};

TEST_F(FirmwareDeviceTest, EachMethodAsksForItsSelector) {
  const Bytes first = CalibrationBlockBuilder(5).Build();
  const Bytes second = CalibrationBlockBuilder(7).LutStep(32).Build();
  ASSERT_TRUE(simacpi::SetCalibration(1, first));
  ASSERT_TRUE(simacpi::SetCalibration(2, second));

  EXPECT_EQ(Read(0), 0);
  EXPECT_EQ(block_, first);
  EXPECT_EQ(printed_, "ReadDataBlocklib version = 1.0.0.1\n");
  EXPECT_EQ(traces_.text(), std::string("QOV: ulOutBuffer[0] > 0\n") + kUninitialize);
  // The request as sent: "SCDG", 516, selector 1, then zeros; 1024 bytes
  // of room for the answer.
  const Bytes sent = simacpi::LastRequest();
  ASSERT_EQ(sent.size(), 524u);
  EXPECT_EQ(simacpi::History().back(), (simacpi::Request{simacpi::TagOf("SCDG"), 516, 1, 0, 0}));
  EXPECT_EQ(Bytes(sent.begin() + 16, sent.end()), Bytes(508, 0));
  EXPECT_EQ(simacpi::LastIoctl(), 0x0022240Cu);
  EXPECT_EQ(simacpi::LastOutputSize(), 1024u);

  EXPECT_EQ(Read(1), 0);
  EXPECT_EQ(block_, second);
  EXPECT_EQ(simacpi::History().back().arg0, 2u);
  EXPECT_EQ(Read(7), 0);  // any non-zero method is selector 2
  EXPECT_EQ(simacpi::History().back().arg0, 2u);
  EXPECT_EQ(simacpi::RequestCount(), 3u);
}

TEST_F(FirmwareDeviceTest, NoDataWritesTheMarker) {
  ASSERT_TRUE(simacpi::SetCalibration(2, CalibrationBlockBuilder(5).Build()));
  EXPECT_EQ(Read(0), -3);  // nothing for selector 1: count 0
  EXPECT_EQ(Bytes(block_.begin(), block_.begin() + 8), Bytes(kNoDataMarker, kNoDataMarker + 8));
  EXPECT_EQ(block_[8], 0xEE);
  EXPECT_EQ(traces_.text(), std::string("QOV: ulOutBuffer[0] <= 0\n") + kUninitialize);

  // An answer cut before its count word carries no data either.
  ASSERT_TRUE(simacpi::SetAnswerLength(3));
  EXPECT_EQ(Read(1), -3);
  // Cut inside the block: what came is data, the rest zeros.
  ASSERT_TRUE(simacpi::SetAnswerLength(104));
  EXPECT_EQ(Read(1), 0);
  EXPECT_EQ(block_[4], 5);  // the version byte
  EXPECT_EQ(block_[100], 0);
}

TEST_F(FirmwareDeviceTest, RefusedAndMissingDevice) {
  ASSERT_TRUE(simacpi::SetCalibration(1, CalibrationBlockBuilder(5).Build()));
  ASSERT_TRUE(simacpi::SetRefuse(true));
  EXPECT_EQ(Read(0), -2);
  EXPECT_EQ(block_[0], 0xEE);
  EXPECT_EQ(traces_.text(), std::string("QOV: General_WMIMethod_INT(...) return FALSE\n") + kUninitialize);
  ASSERT_TRUE(simacpi::SetRefuse(false));

  ASSERT_TRUE(simacpi::Stop());
  traces_.clear();
  EXPECT_EQ(Read(0), -1);
  EXPECT_EQ(block_[0], 0xEE);
  EXPECT_NE(printed_.find("cannot open the ACPI control device (error 2)"), std::string::npos);
  EXPECT_EQ(traces_.text(), "");  // nothing opened, nothing closed
}

TEST_F(FirmwareDeviceTest, ImportsTheFirmwareBlock) {
  testing::MonitorEdid monitor;
  ASSERT_TRUE(monitor.Set(testing::MakeEdid(testing::kPanelIdentity)));
  ASSERT_TRUE(simacpi::SetCalibration(2, CalibrationBlockBuilder(7).LutStep(20).Build()));
  CctParams params{};
  params.method = 1;
  FactoryTarget target;
  GammaFitInput fit;
  CCTAPI_ERRORCODE = 0;
  ::testing::internal::CaptureStdout();
  GetBIOSInfo(&params, &target, &fit, SystemCalibrationSource());
  uint8_t step = 0;
  const bool gotStep = GetBIOSData(params, SystemCalibrationSource(), &step);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(params.hasFactoryData, 1);
  EXPECT_EQ(params.dataVersion, 7);
  EXPECT_EQ(params.hasGammaLut, 1);
  EXPECT_EQ(CCTAPI_ERRORCODE, 0);
  EXPECT_TRUE(gotStep);
  EXPECT_EQ(step, 20);
  EXPECT_EQ(simacpi::RequestCount(), 2u);

  // Selector 1 has no data: no factory data, and no error for the caller.
  params.method = 0;
  ::testing::internal::CaptureStdout();
  GetBIOSInfo(&params, &target, &fit, SystemCalibrationSource());
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(params.hasFactoryData, 0);
  EXPECT_EQ(params.dataVersion, -1);
  EXPECT_EQ(CCTAPI_ERRORCODE, 0);
  EXPECT_NE(printed.find("CRCCheck Error\n"), std::string::npos);
  EXPECT_FALSE(GetBIOSData(params, SystemCalibrationSource(), &step));
}

}  // namespace
}  // namespace kelvara
