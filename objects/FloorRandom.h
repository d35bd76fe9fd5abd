#pragma once

#include <cstdint>

// The floor's own random numbers: the very sequence glibc's rand() gives after srand(seed) (its
// additive feedback generator r[i] = r[i-3] + r[i-31] mod 2^32, each output r >> 1), so that a
// seed shows the colours it always has, but kept per floor and able to skip ahead. The recurrence
// is linear, so skipping any number of outputs takes a few dozen polynomial products instead of
// one step per output: a party a year old has drawn some 8e9 numbers.
class FloorRandom {
 public:
  explicit FloorRandom(unsigned int seed) { reseed(seed); }

  // Starts over as srand(seed) does (0 counts as 1).
  void reseed(unsigned int seed);
  // The next number, 0 to 2^31 - 1, as rand() would return it.
  int next();
  // Throws the next `count` numbers away.
  void skip(uint64_t count);

 private:
  static constexpr int kDegree = 31;
  static constexpr int kSeparation = 3;
  uint32_t state_[kDegree];
  int front_ = kSeparation;  // the oldest value, replaced by the next sum
  int rear_ = 0;             // the value added to it, three newer
};
