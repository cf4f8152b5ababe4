// The tag pass of the profile parse: what lands in the Kelvara record, what
// is logged, and where a bad tag stops it.
#include <gtest/gtest.h>

#include "plugins/tintora/icc_tags.h"
#include "plugins/tintora/profile_tags.h"
#include "plugins/tintora/tests/fake_tag_source.h"
#include "plugins/tintora/tests/log_lines.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

using testing::IccProfileBuilder;
using testing::Sig;
using zu::testing::RecordingLogger;

class ProfileTagsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWriteLogLogger(&log_); }
  void TearDown() override { SetWriteLogLogger(nullptr); }

  int Read(const IccProfileBuilder& profile, testing::FakeTagSource* source = nullptr) {
    testing::FakeTagSource own(profile);
    if (!source) source = &own;
    return ReadProfileTags(*source, params_, [this](const std::string& name) { secondProfiles_.push_back(name); });
  }

  RecordingLogger log_;
  CctParams params_{};
  std::vector<std::string> secondProfiles_;
};

TEST_F(ProfileTagsTest, APanelProfileFillsTheRecordInTagOrder) {
  const IccProfileBuilder profile = IccProfileBuilder::Panel();
  testing::FakeTagSource source(profile);
  ASSERT_EQ(Read(profile, &source), 0);

  const std::vector<uint32_t> order = {Sig("rXYZ"), Sig("gXYZ"), Sig("bXYZ"), Sig("wtpt"), Sig("vcgt"), Sig("cmgm")};
  EXPECT_EQ(source.asked(), order);
  // The primaries are stored in D65, the white point as read.
  const double q = 1.0 / 65536;
  EXPECT_NEAR(params_.nativeXyz[0][0], 0.955514 * 0.4361 - 0.02307 * 0.2225 + 0.063306 * 0.0139, 2 * q);
  EXPECT_NEAR(params_.nativeXyz[1][1], -0.02832 * 0.3851 + 1.009943 * 0.7169 + 0.021053 * 0.0971, 2 * q);
  EXPECT_NEAR(params_.nativeXyz[2][2], 0.012328 * 0.1431 - 0.02053 * 0.0606 + 1.330697 * 0.7141, 2 * q);
  EXPECT_NEAR(params_.nativeXyz[3][0], 0.9505, q);
  EXPECT_NEAR(params_.nativeXyz[3][1], 1.0, q);
  EXPECT_NEAR(params_.nativeXyz[3][2], 1.089, q);

  icc::VcgtTable table;
  ASSERT_EQ(icc::DecodeVcgt(profile.tags().at(Sig("vcgt")), &table).status, icc::TagStatus::kOk);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ASSERT_EQ(params_.baseLut[c][i], table.entries[c][i]);
  EXPECT_TRUE(secondProfiles_.empty());

  const auto texts = testing::Texts(log_);
  ASSERT_EQ(texts.size(), 2u * 3 + 1 + 3 + 256);
  EXPECT_EQ(texts[0], "Tintora [parseICC] XYZ D50 : 0.436096, 0.222504, 0.013901");
  EXPECT_EQ(texts[1], "Tintora [parseICC] XYZ D65 : 0.412443, 0.212658, 0.019306");
  EXPECT_EQ(texts[6], "Tintora [parseICC] wtpt : 0.950500, 1.000000, 1.089005");
  EXPECT_EQ(texts[7], "Tintora [parseICC] vcgt channels 3");
  EXPECT_EQ(texts[8], "Tintora [parseICC] vcgt entryCount 256");
  EXPECT_EQ(texts[9], "Tintora [parseICC] vcgt entrySize 2");
  EXPECT_EQ(texts[10], "Tintora [parseICC] 0: 0  0  0");
  EXPECT_EQ(texts[11], "Tintora [parseICC] 1: 257  257  257");
  EXPECT_EQ(texts.back(), "Tintora [parseICC] 255: 65535  65472  65409");
  for (const auto& call : log_.calls()) EXPECT_EQ(call.level, zu::kLogInfo);
}

TEST_F(ProfileTagsTest, AbsentTagsKeepTheirDestinationAndVcgtBecomesTheIdentity) {
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Remove("vcgt").Remove("gXYZ");
  params_.nativeXyz[1][0] = 7.0;  // what the record held before
  for (auto& channel : params_.baseLut)
    for (auto& entry : channel) entry = 1;
  ASSERT_EQ(Read(profile), 0);

  EXPECT_EQ(params_.nativeXyz[1][0], 7.0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(params_.baseLut[c][0], 0);
    EXPECT_EQ(params_.baseLut[c][1], 256);
    EXPECT_EQ(params_.baseLut[c][128], 32768);
    EXPECT_EQ(params_.baseLut[c][255], 65280);
  }
  // The absences are warnings, which stay out of the log.
  for (const auto& text : testing::Texts(log_)) EXPECT_EQ(text.find("vcgt"), std::string::npos) << text;
  EXPECT_EQ(testing::Texts(log_).size(), 2u + 2 + 1);
}

TEST_F(ProfileTagsTest, ACmgmTagHandsOnItsProfileName) {
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Tag("cmgm", testing::ProfileReferenceTag("X1_panel_wide.icm"));
  ASSERT_EQ(Read(profile), 0);
  EXPECT_EQ(secondProfiles_, std::vector<std::string>{"X1_panel_wide.icm"});
}

TEST_F(ProfileTagsTest, ATagOfAnotherTypeStopsThePass) {
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Tag("rXYZ", testing::Bytes{'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 0});
  testing::FakeTagSource source(profile);
  EXPECT_EQ(Read(profile, &source), -1);
  EXPECT_EQ(source.asked().size(), 1u);
  const auto lines = testing::Lines(log_);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], (testing::LogLine{zu::kLogError, "Tintora [parseICC] icc->find_tag() tag 'rXYZ' found but unknown type"}));
}

// "cmgm" is optional: one that cannot be read is a warning in the log, and
// the panel's own tags still make the record.
TEST_F(ProfileTagsTest, AnUnreadableCmgmIsAWarningAndThePassSucceeds) {
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  profile.Tag("cmgm", testing::XyzTag(1, 1, 1));
  EXPECT_EQ(Read(profile), 0);
  EXPECT_EQ(testing::Lines(log_).back(),
            (testing::LogLine{zu::kLogWarning,
                              "Tintora [parseICC] tag 'cmgm' cannot be read (tag type 'XYZ '); no second profile is "
                              "installed"}));

  log_.Clear();
  profile.Tag("cmgm", testing::Bytes{'t', 'e', 'x', 't', 0, 0, 0, 0, ' '});
  EXPECT_EQ(Read(profile), 0);
  EXPECT_EQ(testing::Lines(log_).back(),
            (testing::LogLine{zu::kLogWarning,
                              "Tintora [parseICC] tag 'cmgm' cannot be read (text tag holds no name); no second "
                              "profile is installed"}));

  log_.Clear();
  profile.Tag("cmgm", testing::ProfileReferenceTag("X1_panel_wide.icm"));
  testing::FakeTagSource source(profile);
  source.FailOn(Sig("cmgm"));
  EXPECT_EQ(Read(profile, &source), 0);
  EXPECT_EQ(testing::Lines(log_).back(),
            (testing::LogLine{zu::kLogWarning,
                              "Tintora [parseICC] tag 'cmgm' cannot be read (13, The data is invalid.); no second "
                              "profile is installed"}));
  EXPECT_TRUE(secondProfiles_.empty());
  EXPECT_NEAR(params_.nativeXyz[3][1], 1.0, 1.0 / 65536);
  EXPECT_EQ(params_.baseLut[0][1], 257);
}

TEST_F(ProfileTagsTest, UnreadableOrMalformedTagsAreReadFailures) {
  IccProfileBuilder profile = IccProfileBuilder::Panel();
  testing::FakeTagSource source(profile);
  source.FailOn(Sig("gXYZ"));
  EXPECT_EQ(Read(profile, &source), -1);
  EXPECT_EQ(source.asked().size(), 2u);
  EXPECT_EQ(testing::Lines(log_).back(),
            (testing::LogLine{zu::kLogError, "Tintora [parseICC] Failed to read tag 'gXYZ': 13, The data is invalid."}));

  log_.Clear();
  profile.Tag("vcgt", testing::VcgtTableTag(1, 256, 2, std::vector<uint16_t>(256, 9)));
  EXPECT_EQ(Read(profile), -1);
  const auto texts = testing::Texts(log_);
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[texts.size() - 4], "Tintora [parseICC] vcgt channels 1");
  EXPECT_EQ(texts.back(),
            "Tintora [parseICC] Failed to read tag 'vcgt': 2, vcgt table is 1 x 256 x 16 bits, not 3 x 256 x 16");

  log_.Clear();
  profile = IccProfileBuilder::Panel();
  profile.Tag("wtpt", testing::Bytes{'X', 'Y', 'Z', ' ', 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Read(profile), -1);
  EXPECT_EQ(testing::Texts(log_).back(), "Tintora [parseICC] Failed to read tag 'wtpt': 1, XYZ tag holds no XYZ number");
}

}  // namespace
}  // namespace tintora
