// The platform's calibration source under Windows: calibration files, the
// monitors' EDID as SetupAPI finds them, the ACPI control device, and the
// import through them.
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
#include "libs/kelvara/calibration/win/system_calibration_source.h"
#include "testing/win/iat_hook.h"
#include "testing/win/temp_dir.h"

namespace kelvara {
namespace {

using testing::Bytes;
using testing::CalibrationBlockBuilder;

constexpr GUID kMonitorClass = {0x4D36E96E, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Gives the first present monitor device an "EDID" value for the test's
// duration, as the monitor driver would have stored it.
class MonitorEdid {
 public:
  MonitorEdid() {
    HDEVINFO set = ::SetupDiGetClassDevsExW(&kMonitorClass, nullptr, nullptr, DIGCF_PRESENT, nullptr, nullptr,
                                            nullptr);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (::SetupDiEnumDeviceInfo(set, 0, &info)) {
      HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_SET_VALUE | KEY_QUERY_VALUE);
      if (key != INVALID_HANDLE_VALUE) key_.reset(key);
    }
    ::SetupDiDestroyDeviceInfoList(set);
  }
  ~MonitorEdid() {
    if (key_) ::RegDeleteValueW(key_.get(), L"EDID");
  }
  bool Set(const Bytes& edid) {
    return key_ && ::RegSetValueExW(key_.get(), L"EDID", 0, REG_BINARY, edid.data(), static_cast<DWORD>(edid.size())) ==
                       ERROR_SUCCESS;
  }

 private:
  zu::win::UniqueHkey key_;
};

// Collects what the code under test sends to the debugger.
std::wstring g_traced;
void WINAPI RecordTrace(const wchar_t* text) { g_traced += text; }

class TraceRecorder {
 public:
  TraceRecorder() : hook_(nullptr, "kernel32.dll", "OutputDebugStringW", reinterpret_cast<void*>(&RecordTrace)) {
    g_traced.clear();
  }
  bool installed() const { return hook_.installed(); }
  std::string text() const { return zu::win::ToUtf8(g_traced); }

 private:
  zu::testing::IatHook hook_;
};

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

TEST(FirmwareDevice, MissingDeviceIsReported) {
  if (::GetFileAttributesW(L"\\\\.\\VORTAACPI") != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "device present";
  TraceRecorder traces;
  uint8_t block[512];
  std::memset(block, 0xEE, sizeof block);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FirmwareReadBlock(0, block), -1);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(block[0], 0xEE);
  EXPECT_NE(printed.find("ReadDataBlocklib version = 1.0.0.1\n"), std::string::npos);
  EXPECT_EQ(traces.text(), "");  // nothing opened, nothing to close
}

}  // namespace
}  // namespace kelvara
