// rand() and srand() as the desktop's C library has them (an additive feedback generator seeded
// through a Lehmer sequence), in place of the browser C library's: the floor draws its colours
// with rand(), and the same seed must give the same floor in every back end.
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kDegree = 31;
constexpr int kSeparation = 3;
constexpr int kDiscarded = 310;  // the first outputs after seeding, thrown away

struct Generator {
  int32_t state[kDegree];
  int front = kSeparation;
  int rear = 0;

  void seed(unsigned int seed) {
    int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
    state[0] = word;
    for (int i = 1; i < kDegree; ++i) {
      // 16807 * word % 2147483647 without overflow (Schrage's method)
      const int32_t hi = word / 127773;
      const int32_t lo = word % 127773;
      word = 16807 * lo - 2836 * hi;
      if (word < 0) word += 2147483647;
      state[i] = word;
    }
    front = kSeparation;
    rear = 0;
    for (int i = 0; i < kDiscarded; ++i) next();
  }

  int next() {
    const uint32_t sum = static_cast<uint32_t>(state[front]) + static_cast<uint32_t>(state[rear]);
    state[front] = static_cast<int32_t>(sum);
    front = (front + 1) % kDegree;
    rear = (rear + 1) % kDegree;
    return static_cast<int>(sum >> 1);
  }
};

Generator& generator() {
  static Generator g = [] {
    Generator fresh;
    fresh.seed(1);
    return fresh;
  }();
  return g;
}

}  // namespace

extern "C" {
void srand(unsigned int seed) { generator().seed(seed); }
int rand(void) { return generator().next(); }
}
