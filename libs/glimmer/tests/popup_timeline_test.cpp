// Hold and fade sequence of the pop-up.
#include <gtest/gtest.h>

#include <vector>

#include "libs/glimmer/popup_timeline.h"

namespace glimmer {
namespace {

std::vector<int> FadeOut(PopupTimeline& t) {
  std::vector<int> drawn;
  for (int tick = 0; tick < 10; ++tick) {
    const auto step = t.NextFadeTick();
    if (step.hide) {
      drawn.push_back(-1);
      break;
    }
    drawn.push_back(step.opacity);
  }
  return drawn;
}

TEST(PopupTimeline, FadesThroughFourStepsAndHidesOnTheFifthTick) {
  PopupTimeline t;
  t.BeginRequest();
  t.Shown();
  EXPECT_EQ(t.state(), kPopupShown);
  t.HoldOver();
  EXPECT_EQ(t.state(), kPopupFading);
  EXPECT_EQ(FadeOut(t), (std::vector<int>{192, 129, 66, 3, -1}));
  EXPECT_EQ(t.state(), kPopupIdle);
  EXPECT_EQ(t.opacity(), kFullOpacity);
  EXPECT_EQ(kHoldMilliseconds, 2000u);
  EXPECT_EQ(kFadeStepMilliseconds, 25u);
}

TEST(PopupTimeline, ANewRequestDuringTheFadeStartsAgainAtFullOpacity) {
  PopupTimeline t;
  t.BeginRequest();
  t.Shown();
  t.HoldOver();
  t.NextFadeTick();
  t.NextFadeTick();
  EXPECT_EQ(t.opacity(), 129);
  t.BeginRequest();
  EXPECT_EQ(t.state(), kPopupIdle);
  EXPECT_EQ(t.opacity(), kFullOpacity);
  t.Shown();
  t.HoldOver();
  EXPECT_EQ(FadeOut(t), (std::vector<int>{192, 129, 66, 3, -1}));
}

TEST(PopupTimeline, DisplayChangeHidesAVisiblePopupAndStopsItsTimers) {
  PopupTimeline t;
  EXPECT_FALSE(t.VisibleBeforeDisplayChange());
  EXPECT_FALSE(t.ResetAfterDisplayChange());  // idle: nothing to stop

  t.BeginRequest();
  t.Shown();
  EXPECT_TRUE(t.VisibleBeforeDisplayChange());
  EXPECT_TRUE(t.ResetAfterDisplayChange());
  EXPECT_EQ(t.state(), kPopupIdle);

  t.BeginRequest();
  t.Shown();
  t.HoldOver();
  t.NextFadeTick();
  EXPECT_TRUE(t.VisibleBeforeDisplayChange());
  EXPECT_TRUE(t.ResetAfterDisplayChange());
  // The next request restores full opacity.
  t.BeginRequest();
  EXPECT_EQ(t.opacity(), kFullOpacity);
}

}  // namespace
}  // namespace glimmer
