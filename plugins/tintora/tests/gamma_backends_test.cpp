// The Intel and AMD back-ends against their driver stand-ins: what reaches
// the driver, every message, and what is released.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "plugins/tintora/gamma_records.h"
#include "plugins/tintora/profile_name.h"
#include "plugins/tintora/profile_tags.h"
#include "plugins/tintora/tests/log_lines.h"
#include "plugins/tintora/tests/win_test_support.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

using testing::Standins;
using zu::testing::RecordingLogger;

std::string RampBytes(const uint16_t (&lut)[3][256]) {
  return std::string(reinterpret_cast<const char*>(lut), sizeof lut);
}

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWriteLogLogger(&log_);
    state_.adapterName = L"\\\\.\\DISPLAY1";
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) state_.params.outLut[c][i] = static_cast<uint16_t>(i * 256 + (255 - i) * c);
  }
  void TearDown() override { SetWriteLogLogger(nullptr); }

  // On a thread of its own, so each call meets a thread without COM.
  template <class Fn>
  static auto OnFreshThread(Fn fn) {
    decltype(fn()) result{};
    std::thread([&] { result = fn(); }).join();
    return result;
  }
  std::vector<std::string> Texts() const { return testing::Texts(log_); }

  RecordingLogger log_;
  CalibrationState state_;
};

using IntelBackendTest = BackendTest;

TEST_F(IntelBackendTest, WithoutTheControlObjectNothingIsSupported) {
  state_.GpuPath = kGpuIntel;
  const auto apartmentAfter = OnFreshThread([this] {
    SetGamma(state_);
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return ::CoGetApartmentType(&type, &qualifier);
  });
  const std::vector<testing::LogLine> expected = {
      {zu::kLogError, "Tintora [Intel_SetGamma] CreateInstance8 fail"},
      {zu::kLogError, "Tintora [SetGamma] Common_SetGamma is not support now"},
  };
  EXPECT_EQ(testing::Lines(log_), expected);
  // The apartment joined for the call was left again.
  EXPECT_EQ(apartmentAfter, CO_E_NOTINITIALIZED);
}

TEST_F(IntelBackendTest, TheRampReachesTheFirstAttachableDeviceUnchanged) {
  testing::IntelClassRegistration registration;
  Standins standins;
  FillIdentityRamp(state_.params.outLut);
  ASSERT_EQ(OnFreshThread([this] { return Intel_SetGamma(state_); }), 0) << ::testing::PrintToString(Texts());
  const std::vector<std::string> calls = {"created", "EnumAttachableDevices \\\\.\\DISPLAY1 0",
                                          "SetGammaRamp 4097 1536", "destroyed"};
  EXPECT_EQ(standins.Calls(), calls);
  EXPECT_EQ(standins.Record("ramp.bin"), RampBytes(state_.params.outLut));
  const std::string ramp = standins.Record("ramp.bin");
  ASSERT_EQ(ramp.size(), 1536u);
  uint16_t red[256];
  std::memcpy(red, ramp.data(), sizeof red);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(red[i], i * 256);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Tintora [Intel_SetGamma] Intel_SetGamma Success"});
}

TEST_F(IntelBackendTest, OnlyADisplayDeviceWithAUidGetsTheRamp) {
  testing::IntelClassRegistration registration;
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {{"INTEL_DEVICE_TYPE", "3"}, {"INTEL_UID", "0"}, {"INTEL_ENUM_RESULT", "0x80004005"}};
  for (const Case& c : cases) {
    Standins standins;
    standins.Set(c.name, c.value);
    log_.Clear();
    EXPECT_EQ(OnFreshThread([this] { return Intel_SetGamma(state_); }), -1) << c.name;
    EXPECT_EQ(Texts(), std::vector<std::string>{"Tintora [Intel_SetGamma] ivaild uid"}) << c.name;
    const std::vector<std::string> calls = {"created", "EnumAttachableDevices \\\\.\\DISPLAY1 0", "destroyed"};
    EXPECT_EQ(standins.Calls(), calls) << c.name;
  }
}

TEST_F(IntelBackendTest, DriverFailuresAndFaultsAreReported) {
  testing::IntelClassRegistration registration;
  struct Case {
    const char* name;
    const char* value;
    const char* message;
  } cases[] = {{"INTEL_SET_RESULT", "0x80070057", "Tintora [Intel_SetGamma] Intel SetGammaRamp Failed"},
               {"INTEL_SET_MODE", "throw", "Tintora [Intel_SetGamma] Intel SetGammaRamp crash"},
               {"INTEL_SET_MODE", "crash", "Tintora [Intel_SetGamma] Intel SetGammaRamp crash"}};
  for (const Case& c : cases) {
    Standins standins;
    standins.Set(c.name, c.value);
    log_.Clear();
    EXPECT_EQ(OnFreshThread([this] { return Intel_SetGamma(state_); }), -1) << c.value;
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message}) << c.value;
    const auto calls = standins.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "destroyed") << c.value;
  }
}

TEST_F(IntelBackendTest, AThreadInAnotherApartmentCannotCreateTheObject) {
  testing::IntelClassRegistration registration;
  Standins standins;
  const int result = OnFreshThread([this] {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int r = Intel_SetGamma(state_);
    ::CoUninitialize();
    return r;
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Tintora [Intel_SetGamma] CreateInstance8 fail"});
  EXPECT_TRUE(standins.Calls().empty());
}

class AmdBackendTest : public BackendTest {
 protected:
  int Run() { return AMD_SetGamma(state_); }
  // The first line, "Loaded from <path>", without its path.
  std::vector<std::string> TextsAfterLoad() const {
    auto texts = Texts();
    if (!texts.empty() && texts[0].rfind("Loaded from ", 0) == 0) texts.erase(texts.begin());
    return texts;
  }
  Standins standins_;
};

TEST_F(AmdBackendTest, TheRegammaRecordReachesTheFirstDisplay) {
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl"));
  ASSERT_EQ(Run(), 0) << ::testing::PrintToString(Texts());
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "Loaded from " + zu::win::ToUtf8(testing::StandinFolder(L"adl")) + "\\atiadlxx.dll");

  const std::vector<std::string> calls = {"Create 1",    "NumberOfAdapters", "AdapterInfo 1572", "DisplayInfo 5 0",
                                          "GamutCaps 5 7 0", "RegammaSet 5 7", "Destroy",          "unloaded"};
  EXPECT_EQ(standins_.Calls(), calls);
  const AdlRegamma expected = MakeRegamma(state_.params.outLut);
  EXPECT_EQ(standins_.Record("regamma.bin"), std::string(reinterpret_cast<const char*>(&expected), sizeof expected));
  const std::string record = standins_.Record("regamma.bin");
  ASSERT_EQ(record.size(), 1600u);
  int32_t feature;
  std::memcpy(&feature, record.data(), 4);
  EXPECT_EQ(feature, 16);
}

TEST_F(AmdBackendTest, TheSecondLibraryServesWhenTheFirstIsMissing) {
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl_second"));
  ASSERT_EQ(Run(), 0);
  const std::vector<testing::LogLine> expected = {
      {zu::kLogError, "Tintora [AMD_SetGamma] ADL library not found ErrCode 0x7e"}};
  EXPECT_EQ(testing::Lines(log_), expected);
  EXPECT_TRUE(standins_.HasRecord("regamma.bin"));

  // Neither library: both failures, and no back-end.
  log_.Clear();
  zu::testing::TempDir empty;
  testing::ScopedDllDirectory none(empty.wstr());
  state_.GpuPath = kGpuAmd;
  EXPECT_EQ(SetGamma(state_), -1);
  const std::vector<std::string> texts = {"Tintora [AMD_SetGamma] ADL library not found ErrCode 0x7e",
                                          "Tintora [AMD_SetGamma] ADL library not found ErrCode 0x7e",
                                          "Tintora [SetGamma] Common_SetGamma is not support now"};
  EXPECT_EQ(Texts(), texts);
}

TEST_F(AmdBackendTest, ADisplayNotMappedToTheDesktopIsLeftAloneSilently) {
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl"));
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {{"ADL_DISPLAY_INFO_VALUE", "0x1"},
               {"ADL_DISPLAY_ADAPTER", "6"},
               {"ADL_DISPLAY_COUNT", "0"},
               {"ADL_DISPLAY_RESULT", "-1"},
               {"ADL_ADAPTER_COUNT", "0"}};
  for (const Case& c : cases) {
    Standins standins;
    standins.Set(c.name, c.value);
    log_.Clear();
    EXPECT_EQ(Run(), -1) << c.name;
    EXPECT_TRUE(TextsAfterLoad().empty()) << c.name << ::testing::PrintToString(Texts());
    const auto calls = standins.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "Destroy") << c.name;
    EXPECT_EQ(calls.back(), "unloaded") << c.name;
    EXPECT_FALSE(standins.HasRecord("regamma.bin")) << c.name;
  }
}

TEST_F(AmdBackendTest, EachLibraryFailureHasItsMessageAndCleansUp) {
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl"));
  struct Case {
    const char* name;
    const char* message;
    bool destroyed;
  } cases[] = {
      {"ADL_CREATE_RESULT", "Tintora [AMD_SetGamma] ADL Initialization Error!", false},
      {"ADL_ADAPTER_COUNT_RESULT", "Tintora [AMD_SetGamma] Cannot get the number of adapters!", true},
      {"ADL_ADAPTER_INFO_RESULT", "Tintora [AMD_SetGamma] ADL_Adapter_AdapterInfo_Get() failed!", true},
      {"ADL_GAMUT_RESULT", "Tintora [AMD_SetGamma] ADL_Display_Gamut_Caps() failed with adapter 5 !", true},
      {"ADL_SET_RESULT", "Tintora [AMD_SetGamma] ADL_Display_RegammaCoeff_Set() failed with adapter 5 !", true},
  };
  for (const Case& c : cases) {
    Standins standins;
    standins.Set(c.name, "-1");
    log_.Clear();
    EXPECT_EQ(Run(), -1) << c.name;
    EXPECT_EQ(TextsAfterLoad(), std::vector<std::string>{c.message}) << c.name;
    const auto calls = standins.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "unloaded") << c.name;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Destroy"), c.destroyed ? 1 : 0) << c.name;
  }
}

TEST_F(AmdBackendTest, ALibraryWithoutTheRegammaFunctionsIsNotUsed) {
  testing::ScopedDllDirectory adl(testing::StandinFolder(L"adl_partial"));
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(TextsAfterLoad(), std::vector<std::string>{"Gamut or Regamma APIs are missing!"});
  EXPECT_EQ(standins_.Calls(), std::vector<std::string>{"unloaded"});
}

}  // namespace
}  // namespace tintora
