// Run by with-chassis: the program must see the chassis it was given, both
// through the production reader and in a full walk of the raw table.
//
//   simlaptop_chassis_tests --expect=10 | --expect=none
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "plugins/common/firmware_table.h"
#include "plugins/common/smbios_chassis.h"

namespace {

// Expected chassis byte as given on the command line; nothing for "none".
std::optional<int> g_expected;
bool g_expectGiven = false;

std::vector<uint8_t> RawSmbios() {
  constexpr DWORD kRsmb = 0x52534D42;
  std::vector<uint8_t> raw(::GetSystemFirmwareTable(kRsmb, 0, nullptr, 0));
  if (!raw.empty()) raw.resize(::GetSystemFirmwareTable(kRsmb, 0, raw.data(), static_cast<DWORD>(raw.size())));
  return raw;
}

struct Structure {
  uint8_t type;
  size_t offset;  // of the structure within the table, after the raw header
};

// An independent walk over every structure; `clean` tells whether it ended
// exactly at the end of the table.
std::vector<Structure> Walk(const std::vector<uint8_t>& raw, bool* clean) {
  std::vector<Structure> list;
  *clean = false;
  if (raw.size() < 8) return list;
  const uint8_t* t = raw.data() + 8;
  const size_t length = raw.size() - 8;
  size_t o = 0;
  while (o + 4 <= length) {
    const uint8_t formatted = t[o + 1];
    if (formatted < 4 || o + formatted > length) return list;
    list.push_back({t[o], o});
    size_t p = o + formatted;
    while (p + 1 < length && !(t[p] == 0 && t[p + 1] == 0)) ++p;
    if (p + 1 >= length) return list;
    o = p + 2;
  }
  *clean = o == length || (!list.empty() && list.back().type == 127);
  return list;
}

TEST(SimulatedChassis, ReaderSeesTheGivenChassis) {
  ASSERT_TRUE(g_expectGiven) << "run with --expect=<byte>|none";
  const auto chassis = zu::ReadSystemChassisType();
  if (g_expected) {
    ASSERT_TRUE(chassis.has_value());
    EXPECT_EQ(*chassis, *g_expected & 0x7F);
  } else {
    EXPECT_EQ(chassis, std::nullopt);
  }
}

TEST(SimulatedChassis, TableIsWellFormed) {
  const auto raw = RawSmbios();
  ASSERT_GE(raw.size(), 8u);
  uint32_t length = 0;
  std::memcpy(&length, raw.data() + 4, 4);
  EXPECT_EQ(length, raw.size() - 8);

  bool clean = false;
  const auto list = Walk(raw, &clean);
  EXPECT_TRUE(clean);
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.back().type, 127) << "end-of-table structure last";

  const Structure* enclosure = nullptr;
  for (const auto& s : list)
    if (s.type == 3) {
      enclosure = &s;
      break;
    }
  if (g_expected) {
    ASSERT_NE(enclosure, nullptr);
    EXPECT_EQ(raw[8 + enclosure->offset + 5], *g_expected) << "raw chassis byte, lock bit included";
  } else {
    EXPECT_EQ(enclosure, nullptr);
    bool hasSystem = false;
    for (const auto& s : list) hasSystem |= s.type == 1;
    EXPECT_TRUE(hasSystem) << "the rest of the table stays readable";
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--expect=", 0) != 0) continue;
    g_expectGiven = true;
    const std::string value = arg.substr(9);
    if (value != "none") g_expected = static_cast<int>(std::strtol(value.c_str(), nullptr, 0));
  }
  return RUN_ALL_TESTS();
}
