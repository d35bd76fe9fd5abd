#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "GLRecorder.h"
#include "platform/audio/MusicPlayer.h"
#include "scene/Scene.h"

namespace {

// A clock the test moves by hand.
struct ManualClock {
  double now = 100.0;
  Scene::Clock fn() {
    return [this] { return now; };
  }
};

std::string f(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

class SceneFrame : public ::testing::Test {
 protected:
  void SetUp() override { gl::reset(); }
  ManualClock clock;
};

TEST_F(SceneFrame, ViewportAndProjectionFor800By600) {
  Scene scene(clock.fn(), nullptr);
  scene.setViewportRect(Rect{0, 0, 800, 600});
  const std::vector<std::string> expected = {
      "glViewport(0, 0, 800, 600)", "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()",
      "gluPerspective(60, " + f(static_cast<double>(800.0f / 600.0f)) + ", 1, 1000)",
      "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()"};
  ASSERT_EQ(gl::calls().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(gl::calls()[i].str(), expected[i]);
  EXPECT_EQ(gl::calls()[3].args[1], static_cast<double>(4.0f / 3.0f));  // divided in single precision
}

TEST_F(SceneFrame, FractionalRectangleTruncatesViewportButNotAspect) {
  Scene scene(clock.fn(), nullptr);
  scene.setViewportRect(Rect{10.7f, 20.2f, 800.9f, 600.5f});
  EXPECT_EQ(gl::calls()[0].str(), "glViewport(10, 20, 800, 600)");
  const auto perspective = gl::callsNamed("gluPerspective");
  ASSERT_EQ(perspective.size(), 1u);
  EXPECT_EQ(perspective[0].args[1], static_cast<double>(800.9f / 600.5f));
}

TEST_F(SceneFrame, ZeroHeightKeepsTheLastProjection) {
  Scene scene(clock.fn(), nullptr);
  scene.setViewportRect(Rect{0, 0, 800, 600});
  const gl::Matrix before = gl::state().projection.back();
  gl::calls().clear();
  scene.setViewportRect(Rect{0, 0, 800, 0});
  EXPECT_TRUE(gl::callsNamed("gluPerspective").empty());
  EXPECT_EQ(gl::state().projection.back(), before);
  EXPECT_EQ(gl::calls().front().str(), "glViewport(0, 0, 800, 0)");
  EXPECT_EQ(gl::state().matrixMode, static_cast<GLenum>(GL_MODELVIEW));
}

TEST_F(SceneFrame, FrameClearsAndPlacesTheCameraAtOffsetZero) {
  Scene scene(clock.fn(), nullptr);
  scene.render();  // no time has passed: step 0, camera phase stays 0
  const std::vector<std::string> prefix = {
      "glEnable(GL_DEPTH_TEST)",  "glDisable(GL_CULL_FACE)", "glDisable(GL_LIGHTING)",   "glClearColor(0, 0, 0, 0)",
      "glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)",  "glMatrixMode(GL_MODELVIEW)", "glPushMatrix()", "gluLookAt(0, 6, 11.5, 0, 2, 0, 0, 1, 0)"};
  ASSERT_GE(gl::calls().size(), prefix.size());
  for (size_t i = 0; i < prefix.size(); ++i) EXPECT_EQ(gl::calls()[i].str(), prefix[i]) << i;
  EXPECT_EQ(gl::calls().back().str(), "glPopMatrix()");
  EXPECT_EQ(gl::state().modelview.size(), 1u);
  EXPECT_EQ(scene.getOffset(), 0.0f);
}

TEST_F(SceneFrame, CameraSwaysWithThePhaseOfThisFrame) {
  Scene scene(clock.fn(), nullptr);
  clock.now += 2.5;  // offset grows by step / 2.5: exactly 1 after this frame
  scene.render();
  EXPECT_EQ(scene.getOffset(), 1.0f);
  const auto lookAt = gl::callsNamed("gluLookAt");
  ASSERT_EQ(lookAt.size(), 1u);
  EXPECT_EQ(lookAt[0].args[0], 3.5 * std::sin(1.3));
  EXPECT_EQ(lookAt[0].args[1], 6.0);
  // The quotient is taken in single precision, the cosine in double.
  EXPECT_EQ(lookAt[0].args[2], 9.0 + 2.5 * std::cos(static_cast<double>(1.0f / 1.239f)));
  EXPECT_NE(lookAt[0].args[2], 9.0 + 2.5 * std::cos(1.0 / 1.239));
}

TEST_F(SceneFrame, StepsAreTheClockDifferencesUnclamped) {
  Scene scene(clock.fn(), nullptr);
  clock.now += 3600.0;  // a long pause is one big step
  scene.render();
  EXPECT_EQ(scene.getOffset(), 3600.0f / 2.5f);
  clock.now -= 1.0;  // a clock going back gives a negative step, passed on as it is
  scene.render();
  EXPECT_EQ(scene.getOffset(), 3600.0f / 2.5f + (-1.0f / 2.5f));
}

}  // namespace
