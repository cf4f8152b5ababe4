// Tintora.dll on the simulated laptop: the service bound through its export
// and driven as the agent drives it, with the machine's registry, a
// generated panel profile in the product folder, Kelvara.dll, and the
// graphics driver stand-ins.
//
// Every test loads the library afresh: its calibration state is
// process-wide and a failed calibration stays failed for the library's life.
#include <windows.h>
#include <icm.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/win/unique_module.h"
#include "plugins/common/platform_service.h"
#include "plugins/tintora/tests/icc_profile_builder.h"
#include "plugins/tintora/tests/log_lines.h"
#include "plugins/tintora/tests/win_test_support.h"
#include "tools/simlaptop/sim_acpi.h"

namespace tintora {
namespace {

using testing::IccProfileBuilder;
using testing::ScopedMachineValue;
using testing::Standins;
using zu::testing::RecordingLogger;

namespace fs = std::filesystem;

constexpr uint32_t kResume = 0x20002;
const fs::path kProductFolder = L"C:\\ProgramData\\Orvale\\Orvale Control Hub\\OrvaleOptimization\\Tintora";
const fs::path kColourFolder = L"C:\\windows\\system32\\spool\\drivers\\color";

bool g_otherMachine = false;  // --machine=other: a chassis without the service

void WriteBytes(const fs::path& path, const testing::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The board, processor vendor, first monitor and its EDID (panel AF06123D).
class Machine {
 public:
  static constexpr const wchar_t* kMonitorInstance = L"DISPLAY\\Default_Monitor\\0000&0000";
  explicit Machine(const wchar_t* vendor)
      : board_(L"SYSTEM\\HardwareConfig\\Current", L"BaseBoardProduct"),
        vendor_(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"VendorIdentifier"),
        monitor_(L"SYSTEM\\CurrentControlSet\\Services\\monitor\\Enum", L"0"),
        edid_(std::wstring(L"SYSTEM\\CurrentControlSet\\Enum\\") + kMonitorInstance + L"\\Device Parameters", L"EDID") {
    board_.SetText(L"X1");
    vendor_.SetText(vendor);
    monitor_.SetText(kMonitorInstance);
    uint8_t edid[128] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x06, 0xAF, 0x3D, 0x12};
    edid_.SetRaw(REG_BINARY, edid, sizeof edid);
  }

 private:
  ScopedMachineValue board_, vendor_, monitor_, edid_;
};

// Files put into the product and colour folders, removed afterwards (with
// the product folder when the test made it).
class ProductFiles {
 public:
  ProductFiles() {
    // The outermost folder this makes, removed again at the end.
    for (fs::path p = kProductFolder; !fs::exists(p) && p.has_relative_path(); p = p.parent_path()) made_ = p;
    fs::create_directories(kProductFolder);
  }
  ~ProductFiles() {
    std::error_code ec;
    for (const auto& file : written_) fs::remove(file, ec);
    if (!made_.empty()) fs::remove_all(made_, ec);
  }
  void Write(const fs::path& path, const testing::Bytes& bytes) {
    WriteBytes(path, bytes);
    written_.push_back(path);
  }
  void Profile(const wchar_t* name, const IccProfileBuilder& profile) { Write(kProductFolder / name, profile.Build()); }
  void Forget(const fs::path& path) { written_.push_back(path); }

 private:
  fs::path made_;
  std::vector<fs::path> written_;
};

class TintoraPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    module_.reset(::LoadLibraryW((zu::win::ModuleDirectory() + L"Tintora.dll").c_str()));
    ASSERT_TRUE(module_) << "LoadLibrary failed: " << ::GetLastError();
    auto factory = module_.GetProc<zu::GetServiceControlBlockFn>(zu::kServiceFactoryExport);
    ASSERT_NE(factory, nullptr);
    service_ = factory();
    if (!g_otherMachine) {
      ASSERT_NE(service_, nullptr);
    }
  }
  void TearDown() override { module_.reset(); }

  std::vector<std::string> Texts() const { return testing::Texts(log_); }
  // The ramp of the last getLUT request, from its log lines.
  std::string LastLutBytes() const {
    uint16_t lut[3][256] = {};
    for (const auto& text : Texts()) {
      int i, r, g, b;
      if (std::sscanf(text.c_str(), "Tintora QOV getLUT[%d]: %d %d %d", &i, &r, &g, &b) == 4 && i >= 0 && i < 256) {
        lut[0][i] = static_cast<uint16_t>(r);
        lut[1][i] = static_cast<uint16_t>(g);
        lut[2][i] = static_cast<uint16_t>(b);
      }
    }
    return std::string(reinterpret_cast<const char*>(lut), sizeof lut);
  }
  size_t Count(const std::string& text) const {
    const auto texts = Texts();
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
  }

  zu::simacpi::Scope device_;
  zu::win::UniqueModule module_;
  zu::IPlatformService* service_ = nullptr;
  RecordingLogger log_;
};

TEST_F(TintoraPlugin, IntelNotRegisteredCalibratesButCannotProgram) {
  Machine machine(L"GenuineIntel");
  ProductFiles files;
  files.Profile(L"X1_8086_AF06123D.icm", IccProfileBuilder::Panel());

  EXPECT_EQ(service_->GetName(), "Tintora");
  EXPECT_EQ(service_->GetType(), 1);
  EXPECT_TRUE(service_->Init(&log_));
  EXPECT_EQ(service_->GetState(), zu::INIT);

  const auto texts = Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Tintora::Init");
  EXPECT_EQ(texts[1], "state change UNKNOWN -> INIT");
  EXPECT_EQ(texts[2], "Tintora [parseICC] icc file_path : " + zu::win::ToUtf8(kProductFolder.wstring()) +
                          "\\X1_8086_AF06123D.icm");
  EXPECT_EQ(Count("Tintora [parseICC] XYZ D50 : 0.436096, 0.222504, 0.013901"), 1u);
  EXPECT_EQ(Count("Tintora [parseICC] XYZ D65 : 0.412443, 0.212658, 0.019306"), 1u);
  EXPECT_EQ(Count("Tintora [getLUT] CCTAPI_INIT_GAIN ret = 0"), 0u);
  const std::vector<std::string> tail = {
      "Tintora [InitColorCalibration] InitColorCalibration ret = 0",
      "Tintora [Intel_SetGamma] CreateInstance8 fail",
      "Tintora [SetGamma] Common_SetGamma is not support now",
      "Tintora [DoColorCalibration] DoColorCalibration ret = 0",
  };
  ASSERT_GE(texts.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(texts.end() - 4, texts.end()), tail) << ::testing::PrintToString(texts);
  for (const auto& call : log_.calls()) EXPECT_EQ(call.component, "Tintora");
  EXPECT_EQ(log_.calls()[0].level, zu::kLogDebug);
}

TEST_F(TintoraPlugin, IntelGetsTheLutAtInitAndAgainOnEveryResume) {
  Machine machine(L"GenuineIntel");
  ProductFiles files;
  files.Profile(L"X1_8086_AF06123D.icm", IccProfileBuilder::Panel());
  testing::IntelClassRegistration registration;
  Standins standins;

  service_->onEvent(kResume);  // before Init: nothing to program yet
  EXPECT_TRUE(standins.Calls().empty());

  ASSERT_TRUE(service_->Init(&log_));
  const std::vector<std::string> once = {"created", "EnumAttachableDevices \\\\.\\DISPLAY1 0",
                                         "SetGammaRamp 4097 1536", "destroyed"};
  EXPECT_EQ(standins.Calls(), once);
  const std::string ramp = LastLutBytes();
  EXPECT_EQ(standins.Record("ramp.bin"), ramp);
  EXPECT_EQ(Count("Tintora [Intel_SetGamma] Intel_SetGamma Success"), 1u);
  EXPECT_EQ(Texts().back(), "Tintora [DoColorCalibration] DoColorCalibration ret = 0");
  // Two LUT requests, each logging all 256 entries.
  const auto initTexts = Texts();
  EXPECT_EQ(std::count_if(initTexts.begin(), initTexts.end(),
                          [](const std::string& t) { return t.rfind("Tintora QOV getLUT[", 0) == 0; }),
            512);

  // Other events are ignored; a resume programs the same ramp without
  // reading the profile again.
  log_.Clear();
  service_->onEvent(0x20001);
  service_->onEvent(0xFFFFF);
  EXPECT_TRUE(log_.calls().empty());
  service_->onEvent(kResume);
  const std::vector<testing::LogLine> resumed = {
      {zu::kLogInfo, "DoColorCalibration"},
      {zu::kLogInfo, "Tintora [Intel_SetGamma] Intel_SetGamma Success"},
      {zu::kLogInfo, "Tintora [DoColorCalibration] DoColorCalibration ret = 0"},
  };
  EXPECT_EQ(testing::Lines(log_), resumed);
  EXPECT_EQ(standins.Calls().size(), 2 * once.size());
  EXPECT_EQ(standins.Record("ramp.bin"), ramp);

  // The rest of the life cycle.
  log_.Clear();
  EXPECT_TRUE(service_->Run());
  EXPECT_TRUE(service_->Heartbeat());
  EXPECT_TRUE(service_->Join(0));
  EXPECT_TRUE(service_->Reset());
  service_->Release();
  EXPECT_EQ(service_->GetState(), zu::UNKNOWN);
  const std::vector<std::string> lifecycle = {
      "Tintora::Run",   "state change INIT -> IN_SERVICE",   "Tintora::Join",    "state change IN_SERVICE -> OUT_OF_SERVICE",
      "Tintora::Reset", "state change OUT_OF_SERVICE -> INIT", "Tintora::Release", "state change INIT -> UNKNOWN"};
  EXPECT_EQ(Texts(), lifecycle);
}

TEST_F(TintoraPlugin, AResumeDuringACalibrationWaitsForIt) {
  Machine machine(L"GenuineIntel");
  ProductFiles files;
  files.Profile(L"X1_8086_AF06123D.icm", IccProfileBuilder::Panel());
  testing::IntelClassRegistration registration;
  Standins standins;
  standins.Set("INTEL_SET_DELAY_MS", "300");

  std::thread supervisor([this] { service_->Init(&log_); });
  // The window thread's resume arrives while the driver is busy.
  for (int i = 0; i < 500; ++i) {
    const auto calls = standins.Calls();
    if (std::find(calls.begin(), calls.end(), "SetGammaRamp 4097 1536") != calls.end()) break;
    ::Sleep(10);
  }
  service_->onEvent(kResume);
  supervisor.join();

  const std::vector<std::string> one = {"created", "EnumAttachableDevices \\\\.\\DISPLAY1 0",
                                        "SetGammaRamp 4097 1536", "destroyed"};
  std::vector<std::string> twice = one;
  twice.insert(twice.end(), one.begin(), one.end());
  EXPECT_EQ(standins.Calls(), twice);
  EXPECT_EQ(Count("Tintora [DoColorCalibration] DoColorCalibration ret = 0"), 2u);
}

TEST_F(TintoraPlugin, WithoutAProfileNothingIsProgrammedNowOrOnResume) {
  Machine machine(L"GenuineIntel");
  testing::IntelClassRegistration registration;
  Standins standins;
  ASSERT_TRUE(service_->Init(&log_));
  const auto texts = Texts();
  const std::vector<std::string> tail = {
      "Tintora [parseICC] Can't open file '" + zu::win::ToUtf8(kProductFolder.wstring()) + "\\X1_8086_AF06123D.icm'",
      "Tintora [InitColorCalibration] parseICC fail",
      "Tintora [InitColorCalibration] InitColorCalibration ret = -1",
  };
  ASSERT_GE(texts.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()), tail);
  EXPECT_EQ(testing::Lines(log_).back().level, zu::kLogInfo);
  EXPECT_EQ(log_.calls()[log_.calls().size() - 2].level, zu::kLogError);

  log_.Clear();
  service_->onEvent(kResume);
  EXPECT_EQ(testing::Lines(log_), (std::vector<testing::LogLine>{{zu::kLogInfo, "DoColorCalibration"}}));
  EXPECT_TRUE(standins.Calls().empty());
}

// The colour system calls a tag that lies past the end of the file absent;
// a "vcgt" that is listed but not there must not pass for a profile without
// one (and an identity-based ramp).
TEST_F(TintoraPlugin, ATagPastTheEndOfTheProfileFailsTheCalibrationForGood) {
  Machine machine(L"GenuineIntel");
  ProductFiles files;
  testing::Bytes profile = IccProfileBuilder::Panel().Build();
  const uint32_t past = static_cast<uint32_t>(profile.size()) + 64;
  ASSERT_TRUE(testing::SetTagEntry(profile, testing::Sig("vcgt"), past, 1554));
  files.Write(kProductFolder / L"X1_8086_AF06123D.icm", profile);
  testing::IntelClassRegistration registration;
  Standins standins;

  ASSERT_TRUE(service_->Init(&log_));
  const std::vector<testing::LogLine> tail = {
      {zu::kLogError, "Tintora [parseICC] icco read 13, tag 'vcgt' (offset " + std::to_string(past) +
                          ", 1554 bytes) ends past the end of the file (" + std::to_string(profile.size()) +
                          " bytes) failed"},
      {zu::kLogError, "Tintora [InitColorCalibration] parseICC fail"},
      {zu::kLogInfo, "Tintora [InitColorCalibration] InitColorCalibration ret = -1"},
  };
  const auto lines = testing::Lines(log_);
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(std::vector<testing::LogLine>(lines.end() - 3, lines.end()), tail);
  EXPECT_TRUE(standins.Calls().empty());

  log_.Clear();
  service_->onEvent(kResume);
  EXPECT_EQ(testing::Lines(log_), (std::vector<testing::LogLine>{{zu::kLogInfo, "DoColorCalibration"}}));
  EXPECT_TRUE(standins.Calls().empty());
}

TEST_F(TintoraPlugin, AmdWithOnlyTheSecondLibrary) {
  Machine machine(L"AuthenticAMD");
  ProductFiles files;
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Remove("vcgt");
  files.Profile(L"X1_1002_AF06123D.icm", profile);
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl_second"));
  Standins standins;

  ASSERT_TRUE(service_->Init(&log_));
  EXPECT_EQ(Count("Tintora [AMD_SetGamma] ADL library not found ErrCode 0x7e"), 1u);
  const auto texts = Texts();
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Loaded from", 0) == 0; }),
            0);
  EXPECT_EQ(texts.back(), "Tintora [DoColorCalibration] DoColorCalibration ret = 0");
  EXPECT_EQ(Count("Tintora [SetGamma] Common_SetGamma is not support now"), 0u);
  const std::string record = standins.Record("regamma.bin");
  ASSERT_EQ(record.size(), 1600u);
  EXPECT_EQ(record.substr(4, 1536), LastLutBytes());
}

TEST_F(TintoraPlugin, AmdDisplayNotMappedIsNotProgrammed) {
  Machine machine(L"AuthenticAMD");
  ProductFiles files;
  files.Profile(L"X1_1002_AF06123D.icm", IccProfileBuilder::Panel());
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl"));
  Standins standins;
  standins.Set("ADL_DISPLAY_INFO_VALUE", "0x1");

  ASSERT_TRUE(service_->Init(&log_));
  auto texts = Texts();
  const size_t loaded = static_cast<size_t>(
      std::find_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Loaded from ", 0) == 0; }) -
      texts.begin());
  ASSERT_LT(loaded, texts.size());
  const std::vector<std::string> after = {"Tintora [SetGamma] Common_SetGamma is not support now",
                                          "Tintora [DoColorCalibration] DoColorCalibration ret = 0"};
  EXPECT_EQ(std::vector<std::string>(texts.begin() + loaded + 1, texts.end()), after);
  EXPECT_FALSE(standins.HasRecord("regamma.bin"));
}

TEST_F(TintoraPlugin, ACmgmProfileIsInstalledForTheMonitor) {
  Machine machine(L"AuthenticAMD");
  ProductFiles files;
  IccProfileBuilder second = IccProfileBuilder::Panel();
  second.Remove("vcgt");
  const testing::Bytes secondBytes = second.Build();
  files.Write(kProductFolder / L"zu_X1_wide.icm", secondBytes);
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Tag("cmgm", testing::ProfileReferenceTag("zu_X1_wide.icm"));
  files.Profile(L"X1_1002_AF06123D.icm", profile);
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl"));
  Standins standins;

  ASSERT_TRUE(service_->Init(&log_));
  const fs::path installed = kColourFolder / L"zu_X1_wide.icm";
  files.Forget(installed);
  EXPECT_EQ(zu::testing::ReadFile(installed), std::string(secondBytes.begin(), secondBytes.end()));
  const auto texts = Texts();
  const size_t named = testing::IndexOf(texts, "Tintora [setICM] Tintora cmgm name : zu_X1_wide.icm");
  ASSERT_LT(named, texts.size());
  EXPECT_EQ(texts[named + 1].rfind("Tintora [setICM] setICMDeviceID: MONITOR\\", 0), 0u) << texts[named + 1];
  EXPECT_NE(texts[named + 1].find("\nFile: zu_X1_wide.icm"), std::string::npos);
  // Installed and associated without complaint, and the calibration went on.
  for (const auto& text : texts) EXPECT_EQ(text.find("failed:"), std::string::npos) << text;
  EXPECT_EQ(Count("Tintora [InitColorCalibration] InitColorCalibration ret = 0"), 1u);

  DISPLAY_DEVICEW adapter{}, monitor{};
  adapter.cb = sizeof adapter;
  monitor.cb = sizeof monitor;
  ASSERT_TRUE(::EnumDisplayDevicesW(nullptr, 0, &adapter, 0));
  ASSERT_TRUE(::EnumDisplayDevicesW(adapter.DeviceName, 0, &monitor, 0));
  ::DisassociateColorProfileFromDeviceW(nullptr, L"zu_X1_wide.icm", monitor.DeviceID);
  ::UninstallColorProfileW(nullptr, L"zu_X1_wide.icm", TRUE);
}

TEST(TintoraOnOtherMachines, NoServiceWithoutALaptopChassis) {
  if (!g_otherMachine) GTEST_SKIP() << "runs on a desktop chassis";
  zu::win::UniqueModule module(::LoadLibraryW((zu::win::ModuleDirectory() + L"Tintora.dll").c_str()));
  ASSERT_TRUE(module);
  auto factory = module.GetProc<zu::GetServiceControlBlockFn>(zu::kServiceFactoryExport);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory(), nullptr);
  EXPECT_EQ(factory(), nullptr);
}

}  // namespace
}  // namespace tintora

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--machine=other") tintora::g_otherMachine = true;
  return RUN_ALL_TESTS();
}
