#include "plugins/meetlamp/led_mode.h"

#include <gtest/gtest.h>

#include <vector>

namespace meetlamp {
namespace {

TEST(LedMode, StoredValuesAboveTwoAreAutoAndTheHotKeyCyclesBackToAuto) {
  EXPECT_EQ(LedModeFromStored(0), Auto);
  EXPECT_EQ(LedModeFromStored(1), On);
  EXPECT_EQ(LedModeFromStored(2), Off);
  EXPECT_EQ(LedModeFromStored(7), Auto);
  EXPECT_EQ(LedModeFromStored(0xFFFFFFFF), Auto);

  LedMode mode = Auto;
  std::vector<LedMode> seen;
  for (int press = 0; press < 3; ++press) seen.push_back(mode = NextLedMode(mode));
  EXPECT_EQ(seen, (std::vector<LedMode>{On, Off, Auto}));
}

TEST(LedMode, RuleFollowsPresenceOnlyInAuto) {
  EXPECT_FALSE(LedShouldBeOn(Auto, 0));
  EXPECT_TRUE(LedShouldBeOn(Auto, 1));
  EXPECT_TRUE(LedShouldBeOn(On, 0));
  EXPECT_TRUE(LedShouldBeOn(On, 1));
  EXPECT_FALSE(LedShouldBeOn(Off, 0));
  EXPECT_FALSE(LedShouldBeOn(Off, 1));
  // A presence other than 0 or 1 never lights the LED in Auto.
  EXPECT_FALSE(LedShouldBeOn(Auto, 2));
}

TEST(LedMode, LogTexts) {
  EXPECT_EQ(AppStateLine(Off, 0, 1), "App state: 2, presence state: 0 -> 1");
  EXPECT_EQ(SetLedFailureLine(-1, 0, 0, 0x10001),
            "Failed to set device status via ACPI method call: ret=ffffffff, value = 0, GetLed: ret=0, value = 10001");
  EXPECT_EQ(SetLedFailureLine(-1, 0, -1, 0),
            "Failed to set device status via ACPI method call: ret=ffffffff, value = 0, GetLed: ret=ffffffff, value = 0");
  EXPECT_STREQ(SessionStateName(0), "inactive");
  EXPECT_STREQ(SessionStateName(1), "active");
  EXPECT_STREQ(SessionStateName(2), "expired");
  EXPECT_STREQ(SessionStateName(3), "?????");
  EXPECT_STREQ(SessionStateName(-1), "?????");
  EXPECT_EQ(LowBytes(u"{0.0.1.00000000}.{AB}\u0141"), std::string("{0.0.1.00000000}.{AB}\x41"));
}

}  // namespace
}  // namespace meetlamp
