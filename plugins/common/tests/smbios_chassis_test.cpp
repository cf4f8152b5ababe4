// The SMBIOS walk on crafted tables.
#include <gtest/gtest.h>

#include "plugins/common/smbios_chassis.h"
#include "plugins/common/tests/smbios_table_builder.h"

namespace zu::testing {
namespace {

std::optional<uint8_t> Chassis(const std::vector<uint8_t>& raw) { return FindChassisType(raw.data(), raw.size()); }

TEST(SmbiosChassis, ClassifiesEnclosureAfterOtherStructures) {
  struct Case {
    uint8_t chassis;
    ProductLine line;
  } cases[] = {{9, kProductLaptop},  {10, kProductLaptop},   {31, kProductLaptop},  {0x89, kProductLaptop},
               {0x8A, kProductLaptop}, {3, kProductDesktop}, {4, kProductDesktop},  {13, kProductAllInOne},
               {2, kProductUnknown}, {8, kProductUnknown},   {0x83, kProductDesktop}};
  for (const auto& c : cases) {
    auto raw = SmbiosTableBuilder().Bios().System().Enclosure(c.chassis).End().Build();
    auto type = Chassis(raw);
    ASSERT_TRUE(type.has_value()) << int(c.chassis);
    EXPECT_EQ(*type, c.chassis & 0x7F);
    EXPECT_EQ(ProductLineFromChassis(type), c.line) << int(c.chassis);
  }
}

TEST(SmbiosChassis, FirstEnclosureWins) {
  auto raw = SmbiosTableBuilder().Enclosure(3).Enclosure(10).Build();
  EXPECT_EQ(Chassis(raw), 3);
}

TEST(SmbiosChassis, StructuresWithoutStringsAreSkipped) {
  auto raw = SmbiosTableBuilder().Add(4, 0x30).Add(17, 0x28).Enclosure(10).Build();
  EXPECT_EQ(Chassis(raw), 10);
}

TEST(SmbiosChassis, NoEnclosureIsUnknown) {
  auto raw = SmbiosTableBuilder().Bios().System().End().Build();
  EXPECT_EQ(Chassis(raw), std::nullopt);
  EXPECT_EQ(ProductLineFromChassis(std::nullopt), kProductUnknown);
}

TEST(SmbiosChassis, HeaderLengthMustMatchTheBuffer) {
  const auto builder = SmbiosTableBuilder().Bios().Enclosure(10);
  EXPECT_EQ(Chassis(builder.Build(+1)), std::nullopt);
  EXPECT_EQ(Chassis(builder.Build(-1)), std::nullopt);
  auto raw = builder.Build();
  EXPECT_EQ(FindChassisType(raw.data(), raw.size() - 1), std::nullopt);
  EXPECT_EQ(FindChassisType(raw.data(), 7), std::nullopt);
  EXPECT_EQ(FindChassisType(nullptr, 0), std::nullopt);
}

TEST(SmbiosChassis, TruncatedStringSetEndsTheWalk) {
  // The BIOS structure's strings never reach their double zero.
  auto raw = SmbiosTableBuilder().Add(0, 0x18).Build();
  raw.pop_back();
  raw.pop_back();
  raw.insert(raw.end(), {'a', 'b', 0, 'c'});
  raw[4] = static_cast<uint8_t>(raw.size() - 8);
  EXPECT_EQ(Chassis(raw), std::nullopt);
}

TEST(SmbiosChassis, MalformedStructureLengthsAreRejected) {
  // A formatted length running past the end of the table.
  auto past = SmbiosTableBuilder().Raw({3, 0xFF, 0, 0, 1, 10, 0, 0}).Build();
  EXPECT_EQ(Chassis(past), std::nullopt);
  // A length below the 4-byte structure header.
  auto tiny = SmbiosTableBuilder().Raw({1, 2, 0, 0, 0, 0}).Enclosure(10).Build();
  EXPECT_EQ(Chassis(tiny), std::nullopt);
  // An enclosure too short to hold the chassis byte.
  auto shortEnclosure = SmbiosTableBuilder().Add(3, 5, {1}).Build();
  EXPECT_EQ(Chassis(shortEnclosure), std::nullopt);
}

}  // namespace
}  // namespace zu::testing
