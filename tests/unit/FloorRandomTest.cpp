// The floor's generator gives the C library's rand() sequence, and skips ahead exactly.
#include <gtest/gtest.h>

#include <cstdlib>

#include "objects/FloorRandom.h"

TEST(FloorRandom, GivesTheCLibrarysSequenceForEverySeed) {
  for (unsigned seed : {0u, 1u, 42u, 0x7fffffffu, 0x80000000u, 0xdeadbeefu, 0xffffffffu}) {
    FloorRandom random(seed);
    std::srand(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(random.next(), std::rand()) << "seed " << seed << ", number " << i;
  }
}

TEST(FloorRandom, SkippingIsDrawingAndThrowingAway) {
  for (uint64_t count : {0ull, 1ull, 123ull, 124ull, 125ull, 4000ull, 1234567ull}) {
    FloorRandom skipped(7), drawn(7);
    drawn.next();  // not from the seed's own phase
    skipped.next();
    skipped.skip(count);
    for (uint64_t i = 0; i < count; ++i) drawn.next();
    for (int i = 0; i < 62; ++i) ASSERT_EQ(skipped.next(), drawn.next()) << "after " << count;
  }
}
