// Decoding the tag contents: what real tags give, and what malformed or
// foreign ones are reported as.
#include <gtest/gtest.h>

#include "plugins/tintora/icc_tags.h"
#include "plugins/tintora/tests/icc_profile_builder.h"

namespace tintora::icc {
namespace {

using testing::Bytes;

TEST(IccTags, XyzTagGivesItsFirstTriple) {
  Xyz xyz;
  ASSERT_EQ(DecodeXyz(testing::XyzTag(0.4361, 0.2225, 0.0139), &xyz).status, TagStatus::kOk);
  EXPECT_NEAR(xyz.X, 0.4361, 1.0 / 65536);
  EXPECT_NEAR(xyz.Y, 0.2225, 1.0 / 65536);
  EXPECT_NEAR(xyz.Z, 0.0139, 1.0 / 65536);

  Bytes negative = testing::XyzTag(-1.5, 0, 2.0);
  ASSERT_EQ(DecodeXyz(negative, &xyz).status, TagStatus::kOk);
  EXPECT_DOUBLE_EQ(xyz.X, -1.5);
  EXPECT_DOUBLE_EQ(xyz.Z, 2.0);

  Bytes shortTag = testing::XyzTag(1, 1, 1);
  shortTag.resize(19);
  const TagResult cut = DecodeXyz(shortTag, &xyz);
  EXPECT_EQ(cut.status, TagStatus::kMalformed);
  EXPECT_EQ(cut.errorCode, kTagTooShort);

  Bytes curve = {'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 1, 1, 0};
  const TagResult foreign = DecodeXyz(curve, &xyz);
  EXPECT_EQ(foreign.status, TagStatus::kUnknownType);
  EXPECT_EQ(DecodeXyz(Bytes{'X', 'Y'}, &xyz).status, TagStatus::kUnknownType);
}

TEST(IccTags, VcgtTableOfThreeBy256SixteenBitEntries) {
  uint16_t ramp[3][256];
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ramp[c][i] = static_cast<uint16_t>(65535 - i * 255 - c);
  VcgtTable table;
  ASSERT_EQ(DecodeVcgt(testing::VcgtTag(ramp), &table).status, TagStatus::kOk);
  EXPECT_EQ(table.channels, 3);
  EXPECT_EQ(table.entryCount, 256);
  EXPECT_EQ(table.entrySize, 2);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ASSERT_EQ(table.entries[c][i], ramp[c][i]);
}

TEST(IccTags, OtherVcgtShapesAreRefusedNotGuessed) {
  VcgtTable table;
  // One channel, 8-bit entries, 1024 entries: each names its shape.
  TagResult r = DecodeVcgt(testing::VcgtTableTag(1, 256, 2, std::vector<uint16_t>(256, 1)), &table);
  EXPECT_EQ(r.status, TagStatus::kMalformed);
  EXPECT_EQ(r.errorCode, kTagUnsupportedShape);
  EXPECT_EQ(r.errorText, "vcgt table is 1 x 256 x 16 bits, not 3 x 256 x 16");
  r = DecodeVcgt(testing::VcgtTableTag(3, 256, 1, std::vector<uint16_t>(768, 1)), &table);
  EXPECT_EQ(r.errorCode, kTagUnsupportedShape);
  r = DecodeVcgt(testing::VcgtTableTag(3, 1024, 2, std::vector<uint16_t>(3072, 1)), &table);
  EXPECT_EQ(r.errorCode, kTagUnsupportedShape);

  // The formula kind.
  Bytes formula = {'v', 'c', 'g', 't', 0, 0, 0, 0, 0, 0, 0, 1};
  formula.resize(48, 0);
  r = DecodeVcgt(formula, &table);
  EXPECT_EQ(r.errorCode, kTagUnsupportedShape);
  EXPECT_EQ(r.errorText, "vcgt tag is no table");

  // The right shape with its data cut short.
  Bytes cut = testing::VcgtTableTag(3, 256, 2, std::vector<uint16_t>(768, 1));
  cut.pop_back();
  r = DecodeVcgt(cut, &table);
  EXPECT_EQ(r.errorCode, kTagTooShort);
  r = DecodeVcgt(Bytes{'v', 'c', 'g', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}, &table);
  EXPECT_EQ(r.errorCode, kTagTooShort);
  EXPECT_EQ(DecodeVcgt(testing::XyzTag(1, 1, 1), &table).status, TagStatus::kUnknownType);
}

TEST(IccTags, ProfileReferenceNameStartsAtTheThirdByteOfTheText) {
  std::string name;
  ASSERT_EQ(DecodeProfileReference(testing::ProfileReferenceTag("panel_P3.icm", "\x01\x02"), &name).status,
            TagStatus::kOk);
  EXPECT_EQ(name, "panel_P3.icm");

  // Without a terminating zero the name runs to the end of the tag.
  Bytes open = {'t', 'e', 'x', 't', 0, 0, 0, 0, 'x', 'x', 'a', '.', 'i', 'c', 'm'};
  ASSERT_EQ(DecodeProfileReference(open, &name).status, TagStatus::kOk);
  EXPECT_EQ(name, "a.icm");
  // An empty name decodes; installing it is refused later.
  ASSERT_EQ(DecodeProfileReference(testing::ProfileReferenceTag(""), &name).status, TagStatus::kOk);
  EXPECT_EQ(name, "");

  Bytes tooShort = {'t', 'e', 'x', 't', 0, 0, 0, 0, 'x', 'x'};
  const TagResult r = DecodeProfileReference(tooShort, &name);
  EXPECT_EQ(r.status, TagStatus::kMalformed);
  EXPECT_EQ(r.errorCode, kTagNoText);
  Bytes description = {'d', 'e', 's', 'c', 0, 0, 0, 0, 0, 0, 0, 4, 'a', 'b', 'c', 0};
  EXPECT_EQ(DecodeProfileReference(description, &name).status, TagStatus::kUnknownType);
}

TEST(IccTags, SignatureText) {
  EXPECT_EQ(SignatureText(Signature("rXYZ")), "rXYZ");
  EXPECT_EQ(SignatureText(0x00414243), "?ABC");
  EXPECT_EQ(TagType(testing::XyzTag(0, 0, 0)), kXyzType);
}

}  // namespace
}  // namespace tintora::icc
