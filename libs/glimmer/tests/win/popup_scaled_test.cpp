// A 2560-pixel screen at 150 %. The scale is taken once per process, so this
// runs in a process of its own (see CMakeLists.txt).
#include <gtest/gtest.h>

#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

namespace glimmer::testing {
namespace {

TEST(GlimmerScaled, QhdAt150PercentUsesTheTopBandWithNormalIconsStretched) {
  PopupProbe probe;
  probe.SetScreen(2560, 1440);
  probe.SetDpi(144);
  ModalPopup popup;
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  const auto frames = probe.Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].size.cx, 550);
  EXPECT_EQ(frames[0].size.cy, 553);
  EXPECT_EQ(frames[0].position.x, 1280 - 275);
  EXPECT_EQ(frames[0].position.y, 720 + 400 - 276);
  EXPECT_EQ(probe.Images(), (std::vector<int>{131, 233}));  // normal icon, 130 pixels
  EXPECT_EQ(probe.FontHeights(), (std::vector<int>{60}));
  // Stretched into the 325-pixel box at (110, 50): its middle is drawn.
  const Frame& f = frames[0];
  int drawn = 0;
  for (int y = 50; y < 375; ++y)
    for (int x = 110; x < 435; ++x) drawn += (f.At(x, y) >> 24) == 255 ? 1 : 0;
  EXPECT_GT(drawn, 5000);
}

}  // namespace
}  // namespace glimmer::testing
