// The profile parse through the Windows Color System with generated
// profiles, and the installation of the profile a "cmgm" tag names.
#include <windows.h>
#include <icm.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "plugins/tintora/tests/icc_profile_builder.h"
#include "plugins/tintora/tests/log_lines.h"
#include "plugins/tintora/tests/win_test_support.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/write_log.h"
#include "testing/win/iat_hook.h"

namespace tintora {
namespace {

using testing::Bytes;
using testing::IccProfileBuilder;
using zu::testing::RecordingLogger;

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What the code asked the colour system to install and associate. The
// calls stop here, so the prefix's colour setup stays as it is.
struct ColourSystemCalls {
  std::vector<std::wstring> installed;
  std::vector<std::pair<std::wstring, std::wstring>> associated;
};
ColourSystemCalls g_calls;

BOOL WINAPI RecordInstall(PCWSTR machine, PCWSTR profile) {
  g_calls.installed.push_back(machine ? L"<machine>" : profile);
  return TRUE;
}
BOOL WINAPI RecordAssociate(PCWSTR machine, PCWSTR profile, PCWSTR device) {
  g_calls.associated.emplace_back(machine ? L"<machine>" : profile, device);
  return TRUE;
}

class ParseIccTest : public ::testing::Test {
 protected:
  ParseIccTest()
      : install_(nullptr, "mscms.dll", "InstallColorProfileW", reinterpret_cast<void*>(&RecordInstall)),
        associate_(nullptr, "mscms.dll", "AssociateColorProfileWithDeviceW",
                   reinterpret_cast<void*>(&RecordAssociate)) {}
  void SetUp() override {
    ASSERT_TRUE(install_.installed());
    ASSERT_TRUE(associate_.installed());
    g_calls = {};
    SetWriteLogLogger(&log_);
    state_.productFolder = product_.wstr();
    state_.colorDirectory = colour_.wstr();
    state_.monitorId = L"MONITOR\\Default_Monitor\\{4D36E96E-E325-11CE-BFC1-08002BE10318}\\0000";
    state_.ProfileName = L"X1_8086_AF06123D.icm";
  }
  void TearDown() override { SetWriteLogLogger(nullptr); }

  std::filesystem::path ProfilePath() const { return product_.path() / state_.ProfileName; }
  void WriteProfile(const IccProfileBuilder& profile) { WriteBytes(ProfilePath(), profile.Build()); }
  // The file was closed again: it can be removed.
  bool ProfileClosed() const {
    std::error_code ec;
    return std::filesystem::remove(ProfilePath(), ec) && !ec;
  }
  std::vector<std::string> Texts() const { return testing::Texts(log_); }

  zu::testing::IatHook install_, associate_;
  zu::testing::TempDir product_, colour_;
  RecordingLogger log_;
  CalibrationState state_;
};

TEST_F(ParseIccTest, APanelProfileIsReadThroughTheColourSystem) {
  WriteProfile(IccProfileBuilder::Panel());
  ASSERT_EQ(parseICC(state_), 0) << ::testing::PrintToString(Texts());
  EXPECT_TRUE(ProfileClosed());

  const auto texts = Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], "Tintora [parseICC] icc file_path : " + product_.str() + "\\X1_8086_AF06123D.icm");
  EXPECT_EQ(texts[1], "Tintora [parseICC] XYZ D50 : 0.436096, 0.222504, 0.013901");
  EXPECT_EQ(texts[2], "Tintora [parseICC] XYZ D65 : 0.412443, 0.212658, 0.019306");
  EXPECT_NEAR(state_.params.nativeXyz[0][0], 0.412443, 1e-6);
  EXPECT_NEAR(state_.params.nativeXyz[0][1], 0.212658, 1e-6);
  EXPECT_NEAR(state_.params.nativeXyz[0][2], 0.019306, 1e-6);
  EXPECT_NEAR(state_.params.nativeXyz[3][2], 1.089005, 1e-6);
  EXPECT_EQ(state_.params.baseLut[0][1], 257);
  EXPECT_EQ(state_.params.baseLut[2][255], 65409);
  // No "cmgm": nothing copied or installed.
  EXPECT_TRUE(std::filesystem::is_empty(colour_.path()));
  EXPECT_TRUE(g_calls.installed.empty());
  EXPECT_TRUE(g_calls.associated.empty());
}

TEST_F(ParseIccTest, WithoutVcgtTheRampIsTheIdentity) {
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Remove("vcgt");
  WriteProfile(profile);
  ASSERT_EQ(parseICC(state_), 0);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ASSERT_EQ(state_.params.baseLut[c][i], i * 256);
  for (const auto& text : Texts()) EXPECT_EQ(text.find("vcgt"), std::string::npos) << text;
}

TEST_F(ParseIccTest, MissingBrokenAndForeignProfilesFail) {
  ASSERT_EQ(parseICC(state_), -1);
  EXPECT_EQ(testing::Lines(log_).back(),
            (testing::LogLine{zu::kLogError, "Tintora [parseICC] Can't open file '" + product_.str() +
                                                 "\\X1_8086_AF06123D.icm'"}));

  log_.Clear();
  WriteBytes(ProfilePath(), Bytes(300, 'x'));
  ASSERT_EQ(parseICC(state_), -1);
  EXPECT_EQ(Texts().back(), "Tintora [parseICC] Creation of ICC object failed");
  EXPECT_TRUE(ProfileClosed());

  // A profile cut short inside its tag data.
  log_.Clear();
  Bytes cut = IccProfileBuilder::Panel().Build();
  cut.resize(cut.size() - 600);
  WriteBytes(ProfilePath(), cut);
  EXPECT_EQ(parseICC(state_), -1);
  EXPECT_EQ(Texts().back(), "Tintora [parseICC] icco read 13, the file ends before the profile does failed");
  EXPECT_TRUE(ProfileClosed());

  log_.Clear();
  IccProfileBuilder foreign = IccProfileBuilder::Panel();
  foreign.Tag("bXYZ", Bytes{'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 0});
  WriteProfile(foreign);
  ASSERT_EQ(parseICC(state_), -1);
  EXPECT_EQ(Texts().back(), "Tintora [parseICC] icc->find_tag() tag 'bXYZ' found but unknown type");
  EXPECT_TRUE(ProfileClosed());
}

TEST_F(ParseIccTest, ACmgmProfileIsCopiedInstalledAndAssociated) {
  IccProfileBuilder second = IccProfileBuilder::Panel();
  second.Remove("vcgt");
  const Bytes secondBytes = second.Build();
  WriteBytes(product_.path() / "X1_wide.icm", secondBytes);
  WriteBytes(colour_.path() / "X1_wide.icm", Bytes(10, 0));  // an older copy is replaced
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Tag("cmgm", testing::ProfileReferenceTag("X1_wide.icm"));
  WriteProfile(profile);

  ASSERT_EQ(parseICC(state_), 0) << ::testing::PrintToString(Texts());
  EXPECT_EQ(zu::testing::ReadFile(colour_.path() / "X1_wide.icm"),
            std::string(secondBytes.begin(), secondBytes.end()));
  EXPECT_EQ(g_calls.installed, std::vector<std::wstring>{colour_.wstr() + L"\\X1_wide.icm"});
  ASSERT_EQ(g_calls.associated.size(), 1u);
  EXPECT_EQ(g_calls.associated[0].first, L"X1_wide.icm");
  EXPECT_EQ(g_calls.associated[0].second, state_.monitorId);

  const auto texts = Texts();
  const size_t named = testing::IndexOf(texts, "Tintora [setICM] Tintora cmgm name : X1_wide.icm");
  ASSERT_LT(named, texts.size());
  EXPECT_EQ(texts[named + 1], "Tintora [setICM] setICMDeviceID: " + zu::win::ToUtf8(state_.monitorId) +
                                  "\nFile: X1_wide.icm");
  EXPECT_TRUE(ProfileClosed());
}

TEST_F(ParseIccTest, ACmgmNameThatLeavesItsFolderIsRefused) {
  WriteBytes(product_.path() / "evil.icm", Bytes(10, 1));
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Tag("cmgm", testing::ProfileReferenceTag("..\\evil.icm"));
  WriteProfile(profile);
  ASSERT_EQ(parseICC(state_), 0);
  EXPECT_TRUE(testing::Has(log_, "Tintora [setICM] cmgm name '..\\evil.icm' is not a profile file name, nothing installed"));
  EXPECT_TRUE(g_calls.installed.empty());
  EXPECT_TRUE(std::filesystem::is_empty(colour_.path()));

  // A name the folder does not hold: the copy fails and says so; the
  // outcome of the installation never fails the parse.
  log_.Clear();
  profile.Tag("cmgm", testing::ProfileReferenceTag("absent.icm"));
  WriteProfile(profile);
  ASSERT_EQ(parseICC(state_), 0);
  const auto texts = Texts();
  EXPECT_NE(std::find_if(texts.begin(), texts.end(),
                         [](const std::string& t) { return t.rfind("Tintora [setICM] copy of '", 0) == 0; }),
            texts.end());
  EXPECT_EQ(g_calls.installed.size(), 1u);
}

}  // namespace
}  // namespace tintora
