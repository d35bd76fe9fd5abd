// What a member joining an old party pays before it shows the party's frame: the scene started
// over with the party's seed and taken to the party's step in one FixedSteps::stepTo, the frame
// it happens in. Each join is also given as a multiple of one second of steps taken one by one
// (the way every frame is stepped), measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "platform/audio/MusicPlayer.h"
#include "scene/FixedSteps.h"
#include "scene/StepCheckpoints.h"

namespace {

constexpr long kStepsPerDay = 24L * 60 * 60 * 60;
// The farthest from a checkpoint a step can be: the slowest joins.
constexpr long kWorstOffset = step_checkpoints::kSpacing - 1;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The fastest of a few runs of one second of steps (60 updates), one by one.
double oneSecondOneByOne() {
  FixedSteps steps;
  Scene scene(steps.clock(), nullptr, 1);
  double fastest = 1e9;
  for (int run = 0; run < 200; ++run) {
    const auto start = std::chrono::steady_clock::now();
    steps.stepTo(scene, steps.step() + 61);  // 60 updates, the 61st left to a frame
    fastest = std::min(fastest, secondsSince(start));
  }
  return fastest;
}

void BM_OneSecondOneByOne(benchmark::State& state) {
  FixedSteps steps;
  Scene scene(steps.clock(), nullptr, 1);
  for (auto _ : state) steps.stepTo(scene, steps.step() + 61);
}
BENCHMARK(BM_OneSecondOneByOne)->Unit(benchmark::kMicrosecond);

void BM_Join(benchmark::State& state, long partyStep) {
  const double baseline = oneSecondOneByOne();
  FixedSteps steps;
  Scene scene(steps.clock(), nullptr, 1);
  double total = 0, longest = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    steps.restart(scene, 7);
    steps.stepTo(scene, partyStep);
    const double took = secondsSince(start);
    total += took;
    longest = std::max(longest, took);
  }
  state.counters["longest_ms"] = longest * 1e3;
  state.counters["x_one_second_one_by_one"] = total / static_cast<double>(state.iterations()) / baseline;
}
BENCHMARK_CAPTURE(BM_Join, a_week, 7 * kStepsPerDay + kWorstOffset)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Join, a_year, 365 * kStepsPerDay + kWorstOffset)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
