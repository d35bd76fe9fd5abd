#include <gtest/gtest.h>

#include "platform/window/ListingWait.h"

using platform::takeover::ListingWait;

// A change waits for the listings to agree, looking again every 50 ms, and is followed anyway 2 s
// after the first change not yet followed, however many more come meanwhile.
TEST(ListingWaitTest, FollowsOnceListingsAgreeOrPatienceRunsOut) {
  ListingWait wait;
  EXPECT_FALSE(wait.due(1000));
  wait.start(1000);
  ASSERT_TRUE(wait.due(1000));
  EXPECT_FALSE(wait.settle(false, 1000));
  EXPECT_FALSE(wait.due(1049));
  EXPECT_TRUE(wait.due(1050));
  // More changes keep the wait looking at once, but do not put the patience off.
  for (uint64_t now = 1100; now < 3000; now += 100) {
    wait.start(now);
    ASSERT_TRUE(wait.due(now));
    ASSERT_FALSE(wait.settle(false, now)) << now;
  }
  EXPECT_TRUE(wait.settle(false, 3000));
  EXPECT_FALSE(wait.waiting());

  wait.start(5000);
  EXPECT_TRUE(wait.settle(true, 5000));
  EXPECT_FALSE(wait.due(5000));
}
