#include "objects/FloorRandom.h"

#include <array>

namespace {
constexpr int kDegree = 31;
constexpr int kTap = 28;          // r[i + 31] = r[i + 28] + r[i]
constexpr int kDiscarded = 310;   // srand throws the first ten rounds away
constexpr int32_t kLehmerModulus = 2147483647;

// A polynomial in x of degree below 31, modulo x^31 - x^28 - 1, coefficients mod 2^32.
using Poly = std::array<uint32_t, kDegree>;

Poly multiply(const Poly& a, const Poly& b) {
  uint32_t product[2 * kDegree - 1] = {};
  for (int i = 0; i < kDegree; ++i)
    for (int j = 0; j < kDegree; ++j) product[i + j] += a[i] * b[j];
  // x^d = x^(d - 31) (x^28 + 1), from the top down so that folded terms are folded again.
  for (int d = 2 * kDegree - 2; d >= kDegree; --d) {
    product[d - kDegree + kTap] += product[d];
    product[d - kDegree] += product[d];
  }
  Poly out;
  for (int i = 0; i < kDegree; ++i) out[i] = product[i];
  return out;
}

// x^n modulo x^31 - x^28 - 1.
Poly powerOfX(uint64_t n) {
  Poly result{}, square{};
  result[0] = 1;
  square[1] = 1;
  for (; n != 0; n >>= 1) {
    if (n & 1) result = multiply(result, square);
    square = multiply(square, square);
  }
  return result;
}
}  // namespace

void FloorRandom::reseed(unsigned int seed) {
  // As glibc: a Lehmer sequence from the seed in 32-bit words, worked out in wider integers.
  int32_t word = static_cast<int32_t>(seed == 0 ? 1u : seed);
  state_[0] = static_cast<uint32_t>(word);
  for (int i = 1; i < kDegree; ++i) {
    const int64_t hi = word / 127773;
    const int64_t lo = word % 127773;
    word = static_cast<int32_t>(16807 * lo - 2836 * hi);
    if (word < 0) word += kLehmerModulus;
    state_[i] = static_cast<uint32_t>(word);
  }
  front_ = kSeparation;
  rear_ = 0;
  for (int i = 0; i < kDiscarded; ++i) next();
}

int FloorRandom::next() {
  const uint32_t sum = state_[front_] += state_[rear_];
  front_ = (front_ + 1) % kDegree;
  rear_ = (rear_ + 1) % kDegree;
  return static_cast<int>(sum >> 1);
}

void FloorRandom::skip(uint64_t count) {
  if (count < 4 * kDegree) {  // cheaper one by one
    for (uint64_t i = 0; i < count; ++i) next();
    return;
  }
  // The last 31 values oldest first, and the 30 that follow them.
  uint32_t values[2 * kDegree - 1];
  for (int j = 0; j < kDegree; ++j) values[j] = state_[(front_ + j) % kDegree];
  for (int j = kDegree; j < 2 * kDegree - 1; ++j) values[j] = values[j - kDegree] + values[j - kDegree + kTap];
  // x^count = sum a_i x^i gives r[k + count] = sum a_i r[k + i] for every k.
  const Poly a = powerOfX(count);
  for (int j = 0; j < kDegree; ++j) {
    uint32_t sum = 0;
    for (int i = 0; i < kDegree; ++i) sum += a[i] * values[j + i];
    state_[j] = sum;
  }
  front_ = 0;
  rear_ = kTap;
}
