// Layout by band, the large-screen rule and the rescale after a display change.
#include <gtest/gtest.h>

#include "libs/glimmer/popup_layout.h"

namespace glimmer {
namespace {

PopupLayout Start(int width, int height, double scale = 1.0) {
  return ComputeLayout({width, height, width, scale, false});
}
PopupLayout Rescale(int start, int width, int height) { return ComputeLayout({width, height, start, 1.0, true}); }

TEST(PopupLayout, EachBandHasItsSizesBoxesAndFont) {
  struct Band {
    int width;
    PixelRect window, icon, text;
    double font;
  };
  const Band bands[] = {
      // width, window (x, y, w, h) on a 1080-line screen, icon box, text box, font
      {800, {400 - 55, 540 + 80 - 55, 110, 110}, {22, 10, 65, 65}, {9, 78, 91, 21}, 12},
      {1023, {511 - 55, 540 + 80 - 55, 110, 110}, {22, 10, 65, 65}, {9, 78, 91, 21}, 12},
      {1024, {512 - 110, 540 + 160 - 110, 220, 221}, {44, 20, 130, 130}, {18, 156, 182, 43}, 24},
      {1920, {960 - 110, 540 + 160 - 110, 220, 221}, {44, 20, 130, 130}, {18, 156, 182, 43}, 24},
      {1921, {960 - 165, 540 + 240 - 165, 330, 331}, {66, 30, 195, 195}, {27, 234, 273, 65}, 36},
      {2048, {1024 - 165, 540 + 240 - 165, 330, 331}, {66, 30, 195, 195}, {27, 234, 273, 65}, 36},
      {2049, {1024 - 275, 540 + 400 - 276, 550, 553}, {110, 50, 325, 325}, {45, 390, 455, 109}, 60},
      {3840, {1920 - 275, 540 + 400 - 276, 550, 553}, {110, 50, 325, 325}, {45, 390, 455, 109}, 60},
  };
  for (const Band& b : bands) {
    SCOPED_TRACE(b.width);
    const PopupLayout l = Start(b.width, 1080);
    EXPECT_EQ(l.factor, 1.0);
    EXPECT_EQ(l.window, b.window);
    EXPECT_EQ(l.plate, (PixelRect{3, 3, b.window.width - 3, b.window.height - 3}));
    EXPECT_EQ(l.icon, b.icon);
    EXPECT_EQ(l.text, b.text);
    EXPECT_DOUBLE_EQ(l.fontSize, b.font);
  }
}

TEST(PopupLayout, FullHdAtNormalScaleUsesTheNormalBandAndIcons) {
  const PopupLayout l = Start(1920, 1080);
  EXPECT_FALSE(l.largeScreen);
  EXPECT_EQ(l.window.width, 220);
  EXPECT_EQ(l.window.height, 221);
  EXPECT_EQ(l.icon.width, 130);
}

TEST(PopupLayout, LargeIconsFollowLogicalWidthAtStartAndPhysicalWidthAfterRescale) {
  EXPECT_TRUE(Start(2000, 1200).largeScreen);
  EXPECT_FALSE(Start(1999, 1200).largeScreen);
  // 2560 at 150 %: 1706 logical pixels. The band goes by pixels (550 x 553)
  // but the normal icons are stretched into the 325-pixel box.
  const PopupLayout scaled = Start(2560, 1440, 1.5);
  EXPECT_FALSE(scaled.largeScreen);
  EXPECT_EQ(scaled.window.width, 550);
  EXPECT_EQ(scaled.icon.width, 325);
  EXPECT_TRUE(Start(3000, 2000, 1.5).largeScreen);
  // After a display change the scale no longer matters.
  EXPECT_TRUE(ComputeLayout({2560, 1440, 2560, 1.5, true}).largeScreen);
  EXPECT_FALSE(ComputeLayout({1999, 1440, 2560, 1.0, true}).largeScreen);
}

TEST(PopupLayout, ScalesBelowOneCountAsOne) {
  EXPECT_EQ(DisplayScaleFromDpi(96), 1.0);
  EXPECT_EQ(DisplayScaleFromDpi(72), 1.0);
  EXPECT_EQ(DisplayScaleFromDpi(144), 1.5);
  EXPECT_TRUE(ComputeLayout({2000, 1200, 2000, 0.5, false}).largeScreen);
}

TEST(PopupLayout, RescaleFromFullHdToQhdGrowsByRatioPlusAQuarter) {
  const PopupLayout l = Rescale(1920, 2560, 1440);
  EXPECT_NEAR(l.factor, 2560.0 / 1920 + 0.25, 1e-12);
  EXPECT_EQ(l.window.width, 348);
  EXPECT_EQ(l.window.height, 350);
  EXPECT_EQ(static_cast<int>(l.fontSize), 38);
  EXPECT_EQ(l.window.x, 1280 - 174);
  EXPECT_EQ(l.window.y, 720 + 253 - 175);  // drop 160 * 1.583 = 253
  EXPECT_EQ(l.icon, (PixelRect{69, 31, 205, 205}));
  EXPECT_TRUE(l.largeScreen);
}

TEST(PopupLayout, RescaleFromQhdToFullHdShrinksByRatioLessFourHundredths) {
  const PopupLayout l = Rescale(2560, 1920, 1080);
  EXPECT_NEAR(l.factor, 0.71, 1e-12);
  EXPECT_EQ(l.window.width, 390);
  EXPECT_EQ(l.window.height, 392);
  EXPECT_EQ(static_cast<int>(l.fontSize), 42);
  EXPECT_FALSE(l.largeScreen);
}

TEST(PopupLayout, RescaleFactorsOfTheOtherBands) {
  EXPECT_NEAR(Rescale(2560, 3840, 2160).factor, 1.5 - 0.1, 1e-12);
  EXPECT_NEAR(Rescale(2048, 2560, 1440).factor, 1.25 - 0.1, 1e-12);
  EXPECT_NEAR(Rescale(2048, 1024, 768).factor, 0.5 - 0.1, 1e-12);
  EXPECT_EQ(Rescale(1920, 1280, 720).factor, 1.0);   // shrinking the middle band keeps its size
  EXPECT_EQ(Rescale(800, 1920, 1080).factor, 1.0);   // the small band never rescales
  EXPECT_EQ(Rescale(2560, 2560, 1440).factor, 1.0);  // same width
  // The band stays the one chosen at start: 110-pixel window grows nowhere.
  EXPECT_EQ(Rescale(800, 1920, 1080).window.width, 110);
}

TEST(PopupLayout, TruncationAbsorbsRepresentationError) {
  // 2560 -> 5120: C = 2 - 0.1 = 1.9; 550 * 1.9 is 1045, not 1044.
  EXPECT_EQ(Rescale(2560, 5120, 2880).window.width, 1045);
}

}  // namespace
}  // namespace glimmer
