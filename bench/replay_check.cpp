// Checks that the recorded frames replay exactly: the straight-line functions and the table
// must each issue, call for call and bit for bit, what the scene issues for the same frame.
// A replay that drops or rounds a command would make the benchmark's baseline meaningless.
#include <gtest/gtest.h>

#include <vector>

#include "GLRecorder.h"
#include "bench/RecordedFrames.h"
#include "bench/ReplayTable.h"
#include "bench/SceneSteps.h"

namespace {

constexpr long kEvery = DISCO_BENCH_EVERY;

std::vector<gl::Call> takeCalls() {
  std::vector<gl::Call> calls = std::move(gl::calls());
  gl::calls().clear();
  return calls;
}

void expectSameCalls(const std::vector<gl::Call>& expected, const std::vector<gl::Call>& actual, int frame) {
  ASSERT_EQ(expected.size(), actual.size()) << "frame " << frame;
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(expected[i].name, actual[i].name) << "frame " << frame << ", call " << i;
    ASSERT_EQ(expected[i].args, actual[i].args) << "frame " << frame << ", " << expected[i].str();
  }
}

TEST(RecordedFrames, ReplayIssuesExactlyTheScenesCommands) {
  gl::reset();
  SceneSteps steps(kBenchFloorSeed);
  steps.scene().setViewportRect(Rect{0, 0, 16, 16});
  for (int kept = 0; kept < kRecordedFrameCount; ++kept) {
    gl::calls().clear();
    while (steps.frame() < kept * kEvery) steps.renderNext();
    gl::calls().clear();
    steps.renderNext();
    const std::vector<gl::Call> scene = takeCalls();

    kRecordedFrames[kept]();
    expectSameCalls(scene, takeCalls(), kept);
    replayTableFrame(kept);
    expectSameCalls(scene, takeCalls(), kept);
  }
}

}  // namespace
