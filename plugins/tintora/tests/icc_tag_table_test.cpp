// The profile's tag table checked against its header and the file before
// the tag pass: every way an entry can point outside, and the tags the
// table lists but the colour system does not serve.
#include <gtest/gtest.h>

#include "plugins/tintora/icc_tag_table.h"
#include "plugins/tintora/tests/fake_tag_source.h"
#include "plugins/tintora/tests/icc_profile_builder.h"

namespace tintora::icc {
namespace {

using testing::Bytes;
using testing::GetBe32;
using testing::Sig;

// Reads the table of a file held in memory; every read must lie inside it.
TagTable Check(const Bytes& file) {
  return ReadTagTable(file.size(), [&file](uint64_t offset, size_t size, uint8_t* out) {
    EXPECT_LE(offset + size, file.size()) << "read outside the file";
    if (offset + size > file.size()) return false;
    std::copy(file.begin() + static_cast<ptrdiff_t>(offset), file.begin() + static_cast<ptrdiff_t>(offset + size), out);
    return true;
  });
}

struct Entry {
  uint32_t offset, size;
};
Entry EntryOf(const Bytes& profile, uint32_t signature) {
  for (uint32_t i = 0; i < GetBe32(profile, 128); ++i)
    if (GetBe32(profile, 132 + 12 * i) == signature)
      return {GetBe32(profile, 132 + 12 * i + 4), GetBe32(profile, 132 + 12 * i + 8)};
  ADD_FAILURE() << "no such tag";
  return {};
}

TEST(IccTagTable, EveryEntryMustLieInsideTheFileAndTheProfilesSize) {
  const Bytes good = testing::IccProfileBuilder::Panel().Build();
  const TagTable table = Check(good);
  ASSERT_TRUE(table.ok) << table.problem;
  EXPECT_EQ(table.profileSize, good.size());
  EXPECT_EQ(table.entries.size(), 5u);
  EXPECT_TRUE(table.Lists(Sig("vcgt")));
  EXPECT_FALSE(table.Lists(Sig("cmgm")));

  const Entry vcgt = EntryOf(good, Sig("vcgt"));
  const std::string fileSize = std::to_string(good.size()) + " bytes";
  auto withVcgt = [&](uint32_t offset, uint32_t size) {
    Bytes bad = good;
    testing::SetTagEntry(bad, Sig("vcgt"), offset, size);
    return Check(bad);
  };
  // Offset past the end; offset + size past the end; a sum that wraps to a
  // small number in 32 bits.
  const uint32_t past = static_cast<uint32_t>(good.size()) + 4;
  EXPECT_EQ(withVcgt(past, 16).problem, "tag 'vcgt' (offset " + std::to_string(past) +
                                            ", 16 bytes) ends past the end of the file (" + fileSize + ")");
  const uint32_t tooLong = static_cast<uint32_t>(good.size()) - vcgt.offset + 1;
  EXPECT_EQ(withVcgt(vcgt.offset, tooLong).problem,
            "tag 'vcgt' (offset " + std::to_string(vcgt.offset) + ", " + std::to_string(tooLong) +
                " bytes) ends past the end of the file (" + fileSize + ")");
  const TagTable wrapped = withVcgt(0xFFFFFF00u, 0x200u);
  EXPECT_FALSE(wrapped.ok);
  EXPECT_EQ(wrapped.problem, "tag 'vcgt' (offset 4294967040, 512 bytes) ends past the end of the file (" + fileSize + ")");

  // A header size that ends inside the tag, in a file that goes on.
  Bytes longer = good;
  longer.resize(good.size() + 4096, 0);
  testing::SetBe32(longer, 0, vcgt.offset + 8);
  EXPECT_EQ(Check(longer).problem, "tag 'vcgt' (offset " + std::to_string(vcgt.offset) + ", " +
                                       std::to_string(vcgt.size) + " bytes) ends past the profile's size (" +
                                       std::to_string(vcgt.offset + 8) + " bytes)");

  // A tag count the header's size cannot hold, up to one whose table size
  // overflows 32 bits; nothing past the file is read for it.
  for (uint32_t count : {1000u, 0x15555556u, 0xFFFFFFFFu}) {
    Bytes bad = good;
    testing::SetBe32(bad, 128, count);
    EXPECT_EQ(Check(bad).problem,
              "the tag table of " + std::to_string(count) + " tags runs past the profile's size (" + fileSize + ")");
  }

  // The file ends before the header's size; header sizes and files too
  // small for a header and a count.
  Bytes cut = good;
  cut.resize(good.size() - 1);
  EXPECT_EQ(Check(cut).problem, "the file ends before the profile does");
  Bytes small = good;
  testing::SetBe32(small, 0, 100);
  EXPECT_EQ(Check(small).problem, "the profile's size (100 bytes) ends inside its header");
  EXPECT_EQ(Check(Bytes(131, 0)).problem, "the file (131 bytes) is too short for a profile header and tag count");
}

TEST(IccTagTable, ATagTheTableListsButTheColourSystemCallsAbsentIsUnreadable) {
  testing::IccProfileBuilder panel = testing::IccProfileBuilder::Panel();
  const TagTable table = Check(panel.Build());
  ASSERT_TRUE(table.ok);
  panel.Remove("vcgt");  // what the colour system serves: no "vcgt"
  testing::FakeTagSource colourSystem(panel);
  ListedTagSource tags(colourSystem, table);

  std::vector<uint8_t> bytes;
  ProfileTagSource::Error error;
  EXPECT_EQ(tags.ReadTag(Sig("vcgt"), &bytes, &error), ProfileTagSource::Lookup::kFailed);
  EXPECT_EQ(error.code, 13);
  EXPECT_EQ(error.text, "the tag table lists it, but it cannot be read");
  EXPECT_EQ(tags.ReadTag(Sig("cmgm"), &bytes, &error), ProfileTagSource::Lookup::kAbsent);
  EXPECT_EQ(tags.ReadTag(Sig("rXYZ"), &bytes, &error), ProfileTagSource::Lookup::kFound);
}

}  // namespace
}  // namespace tintora::icc
