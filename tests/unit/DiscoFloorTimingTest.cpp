// When the floor's hues change, and how they are drawn: as from rand() after srand(seed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "objects/DiscoFloor.h"

namespace {

// The hues after srand(seed): one rand() per tile, in element order, r x 2^-31 x 360.
std::vector<float> huesFromSeed(unsigned int seed, size_t tiles) {
  std::srand(seed);
  std::vector<float> out;
  for (size_t i = 0; i < tiles; ++i) out.push_back(float(std::rand()) * 4.656613e-10f * 360.0f);
  return out;
}

// The 1-based calls, among `calls` steps of dt, that drew new hues.
std::vector<int> changingCalls(float dt, int calls) {
  DiscoFloor floor(2, 2, 1000u);
  std::vector<int> changed;
  for (int call = 1; call <= calls; ++call) {
    const std::vector<float> before = floor.getHues();
    floor.updateWithDiffTime(dt);
    if (floor.getHues() != before) changed.push_back(call);
    EXPECT_EQ(floor.getChanges(), changed.size());
  }
  return changed;
}

TEST(DiscoFloorTiming, HuesChangeOnceTheSinglePrecisionSumReachesFourTenths) {
  EXPECT_EQ(changingCalls(0.1f, 12), (std::vector<int>{4, 8, 12}));       // 4 x 0.1f = 0.4000000059604645
  EXPECT_EQ(changingCalls(1.0f / 60.0f, 48), (std::vector<int>{24, 48}));  // 0.40000012516975403
  EXPECT_EQ(changingCalls(0.4f, 2), (std::vector<int>{1, 2}));

  DiscoFloor floor(3, 3);
  floor.updateWithDiffTime(0.3f);
  floor.updateWithDiffTime(0.3f);
  EXPECT_EQ(floor.getChangeTime(), 0.0f);  // the 0.2 s beyond is dropped
}

TEST(DiscoFloorTiming, HuesComeFromRandInElementOrder) {
  for (int attempt = 0; attempt < 3; ++attempt) {  // the clock seeds: retry if the second ticks
    const std::time_t before = std::time(nullptr);
    DiscoFloor floor(4, 3);
    if (std::time(nullptr) != before) continue;
    EXPECT_EQ(floor.getHues(), huesFromSeed(unsigned(before), 12));
    EXPECT_EQ(floor.getBrightness(), std::vector<float>(12, 1.0f));
    return;
  }
  FAIL() << "the clock never held still for a floor's construction";
}

}  // namespace
