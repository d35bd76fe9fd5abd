// The scene over long stretches of simulated time: a whole day of 60 Hz frames, steps of 0,
// steps of an hour and vanishingly small ones. Every step goes through Scene::updateScene; a full
// frame is drawn through the GL recorder whenever the scroller's end marker enters the line (that
// frame restarts the scroller, so drawing it is what keeps scrollpos within the message) and at
// checkpoints. Drawing all 5.2 million frames through the recorder would take hours.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "GLRecorder.h"
#include "objects/Ball.h"
#include "objects/DiscoFloor.h"
#include "objects/Ventjes.h"
#include "platform/audio/MusicPlayer.h"
#include "scene/InputManager.h"
#include "scene/Scene.h"

namespace {

constexpr float kFrame = 1.0f / 60.0f;
constexpr long kFramesPerHour = 60L * 60 * 60;
constexpr long kFramesPerDay = 24 * kFramesPerHour;  // 5,184,000
constexpr int32_t kMarkerEntersAt = 991;              // scrollpos when the marker reaches cell 79
constexpr float kBounceWrap = 36000.0f;

bool finite(float v) { return std::isfinite(v); }

bool ballIsFinite(const Ball& ball) {
  const Ball::Vector v = ball.getVelocity();
  Ball::Vector p;
  ball.getPosition(&p);
  const quat_t q = ball.getRotation();
  return finite(v.x) && finite(v.z) && finite(p.x) && finite(p.z) && finite(q.x) && finite(q.y) &&
         finite(q.z) && finite(q.w);
}

// A scene whose own clock stands still, so render() adds a step of 0: simulated time reaches
// the objects through updateScene() only.
class SimulatedRun {
 public:
  SimulatedRun() : scene([] { return 0.0; }, nullptr) {
    gl::reset();
    scene.setViewportRect(Rect{0, 0, 1280, 720});
  }

  Scene scene;
  long frames = 0;
  long drawn = 0;
  long scrollerRestarts = 0;
  long hueChanges = 0;
  std::vector<long> restartFrames;

  Ventjes& ventjes() { return *scene.getVentjes(); }
  DiscoFloor& floor() { return *scene.getFloor(); }

  // One update; the frame is drawn when the marker enters the line. Returns false (with a
  // failure recorded) as soon as an invariant breaks, so a broken day stops early.
  bool step(float dt, float maxBounce = kBounceWrap) {
    const float changeTime = floor().getChangeTime();
    scene.updateScene(dt);
    ++frames;
    if (floor().getChangeTime() < changeTime) ++hueChanges;

    const float bounce = ventjes().getBounce();
    const float scrollcalc = ventjes().getScrollcalc();
    const int32_t scrollpos = ventjes().getScrollpos();
    if (!finite(bounce) || bounce < 0.0f || bounce > maxBounce || !finite(scrollcalc) || scrollpos < 0 ||
        scrollpos > kMarkerEntersAt || !finite(scene.getOffset()) || !finite(floor().getChangeTime()) ||
        !ballIsFinite(*scene.getBall())) {
      ADD_FAILURE() << "frame " << frames << ": bounce " << bounce << " scrollcalc " << scrollcalc
                    << " scrollpos " << scrollpos << " offset " << scene.getOffset();
      return false;
    }
    if (scrollpos == kMarkerEntersAt) {
      if (!draw()) return false;
      ++scrollerRestarts;
      restartFrames.push_back(frames);
    }
    return true;
  }

  // One whole frame through the recorder: every argument and every vertex finite, the matrix
  // stack balanced, the scroller inside its message afterwards.
  bool draw() {
    gl::reset();
    scene.render();
    ++drawn;
    for (const gl::Call& call : gl::calls()) {
      const bool argsFinite = std::all_of(call.args.begin(), call.args.end(), [](double a) { return std::isfinite(a); });
      const bool eyeFinite = std::all_of(call.eye.begin(), call.eye.end(), [](double a) { return std::isfinite(a); });
      if (!argsFinite || !eyeFinite) {
        ADD_FAILURE() << "frame " << frames << ": " << call.str();
        return false;
      }
    }
    if (gl::state().modelview.size() != 1 || ventjes().getScrollpos() >= kMarkerEntersAt) {
      ADD_FAILURE() << "frame " << frames << ": modelview depth " << gl::state().modelview.size() << ", scrollpos "
                    << ventjes().getScrollpos();
      return false;
    }
    return true;
  }
};

size_t heapInUse() { return mallinfo2().uordblks; }

}  // namespace

// 24 hours at 60 Hz with two arrow keys held (as in a window): nothing overflows, the phases stay
// in range, the floor flashes on its beat all day, the scroller goes round pass after pass, and
// the heap is the same size at the end of the day as after its first hour.
TEST(LongRun, ADayOfFramesAt60Hz) {
  SimulatedRun run;
  run.scene.getInputManager()->keyRight = 1;
  run.scene.getInputManager()->keyUp = 1;

  size_t heapAfterFirstHour = 0;
  float offsetAnHourBeforeTheEnd = 0.0f;
  for (long frame = 1; frame <= kFramesPerDay; ++frame) {
    if (!run.step(kFrame)) return;
    if (frame % (10 * 60 * 60) == 0 && !run.draw()) return;  // a checkpoint frame every 10 minutes
    if (frame == kFramesPerHour) heapAfterFirstHour = heapInUse();
    if (frame == kFramesPerDay - kFramesPerHour) offsetAnHourBeforeTheEnd = run.scene.getOffset();
  }

  // A change every 24 frames of 1/60 s, all day.
  EXPECT_EQ(run.hueChanges, kFramesPerDay / 24);
  for (float hue : run.floor().getHues()) {
    EXPECT_GE(hue, 0.0f);
    EXPECT_LE(hue, 360.0f);
  }

  // One pass is 991 cells at 4 cells per second: 247.75 s, about 349 passes a day.
  const double passFrames = 991.0 / 4.0 * 60.0;
  EXPECT_NEAR(run.scrollerRestarts, kFramesPerDay / passFrames, 3.0);
  for (size_t i = 1; i < run.restartFrames.size(); ++i) {
    const long pass = run.restartFrames[i] - run.restartFrames[i - 1];
    EXPECT_NEAR(pass, passFrames, passFrames * 0.02) << "pass " << i;
  }

  // The camera still sways in the last hour.
  EXPECT_GT(run.scene.getOffset(), offsetAnHourBeforeTheEnd + 1000.0f);

  const long growth = static_cast<long>(heapInUse()) - static_cast<long>(heapAfterFirstHour);
  EXPECT_LT(std::labs(growth), 64 * 1024) << "heap grew by " << growth << " bytes";
}

// Frames that come within the clock's resolution: the scene stands still, however many there are.
TEST(LongRun, StepsOfZeroChangeNothing) {
  SimulatedRun run;
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(run.step(kFrame));
  const float bounce = run.ventjes().getBounce();
  const float scrollcalc = run.ventjes().getScrollcalc();
  const int32_t scrollpos = run.ventjes().getScrollpos();
  const float offset = run.scene.getOffset();
  const std::vector<float> hues = run.floor().getHues();
  Ball::Vector position;
  run.scene.getBall()->getPosition(&position);

  for (int i = 0; i < 100000; ++i) ASSERT_TRUE(run.step(0.0f));
  ASSERT_TRUE(run.draw());

  EXPECT_EQ(run.ventjes().getBounce(), bounce);
  EXPECT_EQ(run.ventjes().getScrollcalc(), scrollcalc);
  EXPECT_EQ(run.ventjes().getScrollpos(), scrollpos);
  EXPECT_EQ(run.scene.getOffset(), offset);
  EXPECT_EQ(run.floor().getHues(), hues);
  EXPECT_EQ(run.hueChanges, 41);  // 1000 / 24, none during the zero steps
  Ball::Vector after;
  run.scene.getBall()->getPosition(&after);
  EXPECT_EQ(after.x, position.x);
  EXPECT_EQ(after.z, position.z);
}

// A frame an hour late (the machine stalled, or the clock jumped): the phase drops back under
// 36000 within a few frames, and the scroller catches up a cell per frame, restarting as usual,
// until it runs smoothly again; every frame on the way stays finite.
TEST(LongRun, AnHourLongStepIsAbsorbed) {
  SimulatedRun run;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(run.step(kFrame));
  ASSERT_TRUE(run.step(3600.0f, std::numeric_limits<float>::max()));
  EXPECT_GT(run.ventjes().getBounce(), kBounceWrap);  // 216000 over, minus one wrap
  ASSERT_TRUE(run.draw());

  // Each update takes 36000 off once while above: five updates for 180000.
  int framesToWrap = 0;
  while (run.ventjes().getBounce() > kBounceWrap) {
    ASSERT_TRUE(run.step(kFrame, std::numeric_limits<float>::max()));
    ASSERT_LE(++framesToWrap, 5);
  }

  // 14400 cells behind, a cell per frame less the 1/15 cell each frame adds: about 15430 frames.
  long catchUp = 0;
  while (run.ventjes().getScrollcalc() >= 1.0f) {
    ASSERT_TRUE(run.step(kFrame));
    ASSERT_LE(++catchUp, 16000);
  }
  EXPECT_GE(catchUp, 15000);
  EXPECT_GE(run.scrollerRestarts, 15);  // a cell per frame: a pass every 991 frames
  for (int i = 0; i < 60 * 60; ++i) ASSERT_TRUE(run.step(kFrame));
  EXPECT_LT(run.ventjes().getScrollcalc(), 1.0f);
  ASSERT_TRUE(run.draw());
}

// The same hour-long step coming from the scene's own clock, in one rendered frame.
TEST(LongRun, AnHourLongFrameFromTheClockDrawsFinite) {
  double now = 50.0;
  Scene scene([&now] { return now; }, nullptr);
  gl::reset();
  scene.setViewportRect(Rect{0, 0, 1280, 720});
  now += 3600.0;
  scene.render();
  for (const gl::Call& call : gl::calls())
    for (double a : call.args) ASSERT_TRUE(std::isfinite(a)) << call.str();
  EXPECT_TRUE(std::isfinite(scene.getOffset()));
  EXPECT_TRUE(ballIsFinite(*scene.getBall()));
}

// Steps far below a frame, down to the smallest float: nothing becomes NaN or runs backwards.
TEST(LongRun, TinyStepsStayFiniteAndNeverRunBackwards) {
  SimulatedRun run;
  run.scene.getInputManager()->keyDown = 1;
  for (int i = 0; i < 600; ++i) ASSERT_TRUE(run.step(kFrame));
  const float steps[] = {1e-6f, 1e-9f, std::numeric_limits<float>::min(),
                         std::numeric_limits<float>::denorm_min()};
  for (float dt : steps) {
    for (int i = 0; i < 100000; ++i) {
      const float bounce = run.ventjes().getBounce();
      const float offset = run.scene.getOffset();
      ASSERT_TRUE(run.step(dt)) << "step " << dt;
      ASSERT_GE(run.ventjes().getBounce(), bounce) << "step " << dt;
      ASSERT_GE(run.scene.getOffset(), offset) << "step " << dt;
    }
    ASSERT_TRUE(run.draw()) << "step " << dt;
  }
}
