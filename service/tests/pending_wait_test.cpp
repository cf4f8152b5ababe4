#include "service/pending_wait.h"

#include <gtest/gtest.h>

namespace zu::service {
namespace {

TEST(PendingWait, PollIntervalIsATenthOfTheHintWithinOneToTenSeconds) {
  EXPECT_EQ(PendingPollInterval(0), 1000u);
  EXPECT_EQ(PendingPollInterval(3000), 1000u);
  EXPECT_EQ(PendingPollInterval(25000), 2500u);
  EXPECT_EQ(PendingPollInterval(100000), 10000u);
  EXPECT_EQ(PendingPollInterval(0xFFFFFFFF), 10000u);
}

TEST(PendingWait, StopPollingPausesEvenWithoutAWaitHint) {
  EXPECT_EQ(StopPollInterval(0), 100u);
  EXPECT_EQ(StopPollInterval(2500), 2500u);
}

TEST(PendingWait, CheckpointMustAdvanceWithinTheWaitHint) {
  CheckpointWatch watch(1, 0);
  EXPECT_TRUE(watch.Progressing(1, 3000, 2000));
  EXPECT_TRUE(watch.Progressing(1, 3000, 3000));
  // Progress restarts the clock.
  EXPECT_TRUE(watch.Progressing(2, 3000, 3500));
  EXPECT_TRUE(watch.Progressing(2, 3000, 6400));
  EXPECT_FALSE(watch.Progressing(2, 3000, 6501));
  // A checkpoint that goes back is no progress.
  CheckpointWatch back(5, 0);
  EXPECT_FALSE(back.Progressing(4, 1000, 1001));
}

}  // namespace
}  // namespace zu::service
