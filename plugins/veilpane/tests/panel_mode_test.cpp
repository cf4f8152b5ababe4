#include "plugins/veilpane/panel_mode.h"

#include <gtest/gtest.h>

namespace veilpane {
namespace {

TEST(PanelMode, DeviceValueIsTheInverseOfTheModeAndOtherModesHaveNone) {
  EXPECT_EQ(DeviceValueForMode(kModeOn), 1u);
  EXPECT_EQ(DeviceValueForMode(kModeOff), 0u);
  EXPECT_EQ(DeviceValueForMode(2), std::nullopt);
  EXPECT_EQ(DeviceValueForMode(-1), std::nullopt);
  EXPECT_EQ(ToggledMode(kModeOn), kModeOff);
  EXPECT_EQ(ToggledMode(kModeOff), kModeOn);
}

// The status read after a refused switch may itself succeed; its word then
// shows in the line.
TEST(PanelMode, FailureLineShowsBothRequestsInLowerCaseHex) {
  EXPECT_EQ(SetFailureLine(-1, 0, -1, 0),
            "Failed to set device status via ACPI method call: ret=ffffffff, value = 0, "
            "OVACPI_VEIL_PANE: ret=ffffffff, value = 0");
  EXPECT_EQ(SetFailureLine(-1, 0, 0, 0x1000A),
            "Failed to set device status via ACPI method call: ret=ffffffff, value = 0, "
            "OVACPI_VEIL_PANE: ret=0, value = 1000a");
}

}  // namespace
}  // namespace veilpane
