// Jumps of FixedSteps land float for float where stepping one update at a time does: from a new
// scene, after a restart with another seed, from a scene off the checkpoints' path, and late in
// a year, where the clock's double readings make the steps uneven.
#include <gtest/gtest.h>

#include <chrono>

#include "objects/Ball.h"
#include "objects/DiscoFloor.h"
#include "objects/Ventjes.h"
#include "platform/audio/MusicPlayer.h"
#include "scene/FixedSteps.h"
#include "scene/InputManager.h"
#include "scene/StepCheckpoints.h"

namespace {

constexpr long kDay = 24L * 60 * 60 * 60;

// A scene stepped one update at a time on a clock of its own, from any step.
struct OneByOne {
  explicit OneByOne(unsigned seed, long from = 0) : now(stepTime(from)), step(from), scene([this] { return now; }, nullptr, seed) {
    if (from > 0) scene.setSteppedState(step_checkpoints::stateAt(from), now);
  }
  void advanceTo(long last) {
    while (step < last) {
      now = stepTime(++step);
      scene.advance();
    }
  }
  double now;
  long step;
  Scene scene;
};

// Everything steps change, compared exactly: the ball and clock reading too.
void expectSameScene(const Scene& a, const Scene& b, long step) {
  EXPECT_EQ(a.steppedState(), b.steppedState()) << "step " << step;
  EXPECT_EQ(a.getFloor()->getHues(), b.getFloor()->getHues()) << "step " << step;
  EXPECT_EQ(a.lastClockReading(), b.lastClockReading()) << "step " << step;
  Ball::Vector pa, pb;
  a.getBall()->getPosition(&pa);
  b.getBall()->getPosition(&pb);
  EXPECT_TRUE(pa.x == pb.x && pa.z == pb.z && a.getBall()->getVelocity().x == b.getBall()->getVelocity().x)
      << "step " << step;
}

}  // namespace

// Past the first checkpoints (every 648000 steps), onto a change of hue and a scroller restart.
TEST(SceneJump, FromANewSceneOrARestartLandsWhereOneByOneSteps) {
  OneByOne reference(5);
  for (long last : {601L, 24L * 41, 991L * 15, 648000L + 7, 2 * 648000L - 1, 3500000L}) {
    reference.advanceTo(last);
    FixedSteps steps;
    Scene jumped(steps.clock(), nullptr, 5);
    steps.stepTo(jumped, last + 1);  // the last step is left to the frame
    expectSameScene(jumped, reference.scene, last);

    // A scene with another seed, its ball pushed and a key still held, taken to the same start.
    jumped.getInputManager()->keyLeft = 1;
    steps.stepTo(jumped, last + 200);
    jumped.advance();
    steps.restart(jumped, 5);
    steps.stepTo(jumped, last + 1);
    expectSameScene(jumped, reference.scene, last);
  }
}

// A scene whose crowd was set apart from the checkpoints still jumps exactly, by stepping.
TEST(SceneJump, OffTheCheckpointsPathStepsFromWhereItIs) {
  FixedSteps steps;
  Scene jumped(steps.clock(), nullptr, 3);
  OneByOne reference(3);
  jumped.getVentjes()->setAnimation(100.0f, 0.5f, 900);
  reference.scene.getVentjes()->setAnimation(100.0f, 0.5f, 900);
  steps.stepTo(jumped, 200001);
  reference.advanceTo(200000);
  expectSameScene(jumped, reference.scene, 200000);
}

// Late on, steps differ by an ulp or so: three days (the first uneven steps), a week and a year.
TEST(SceneJump, LateStepsAgreeWithTheCheckpoints) {
  for (long from : {3 * kDay + 12345, 7 * kDay - 400000, 365 * kDay - 500000}) {
    OneByOne reference(9, from);
    reference.advanceTo(from + 700000);  // over a checkpoint
    StepState jumped = step_checkpoints::stateAt(from);
    runSteps(jumped, from, from + 700000);
    EXPECT_EQ(jumped, reference.scene.steppedState()) << from;
    EXPECT_EQ(step_checkpoints::stateAt(from + 700000), jumped) << from;
  }
}

TEST(SceneJump, AYearTakesMillisecondsNotMinutes) {
  FixedSteps steps;
  Scene scene(steps.clock(), nullptr, 1);
  const auto start = std::chrono::steady_clock::now();
  steps.stepTo(scene, 366 * kDay);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(scene.lastClockReading(), stepTime(366 * kDay - 1));
}

// Offline (minutes): --gtest_also_run_disabled_tests --gtest_filter='*AWeekAndAYear*'
TEST(SceneJump, DISABLED_AWeekAndAYearOneByOne) {
  OneByOne reference(1);
  for (long last : {7 * kDay, 365 * kDay}) {
    reference.advanceTo(last);
    FixedSteps steps;
    Scene jumped(steps.clock(), nullptr, 1);
    steps.stepTo(jumped, last + 1);
    expectSameScene(jumped, reference.scene, last);
  }
}
