#include <gtest/gtest.h>

#include <array>

#include "GLRecorder.h"
#include "objects/Ball.h"
#include "platform/audio/MusicPlayer.h"
#include "scene/InputManager.h"
#include "scene/Scene.h"

namespace {

// Values as one comparable array, so a mismatch prints them all.
template <class... T>
std::array<float, sizeof...(T)> floats(T... values) {
  return {float(values)...};
}

// Holds exactly the given arrows ("udlr" letters), through key events as the window sends them.
void hold(Scene& scene, const std::string& arrows) {
  const std::string letters = "udlr";
  for (int i = 0; i < 4; ++i) {
    const KeyEvent event{KeyEvent::FunctionKeyMask, std::u16string(1, char16_t(KeyEvent::UpArrowFunctionKey + i))};
    if (arrows.find(letters[i]) != std::string::npos) scene.getInputManager()->onKeyDown(event);
    else scene.getInputManager()->onKeyUp(event);
  }
}

TEST(SceneKeys, ArrowsBecomeTheBallsAccelerationWithinTheSameFrame) {
  double now = 100.0;
  Scene scene([&now] { return now; }, nullptr);
  const struct { const char* arrows; float x, z; } cases[] = {
      {"", 0, 0},    {"l", -5, 0},  {"r", 5, 0},    {"lr", 0, 0}, {"u", 0, -5},
      {"d", 0, 5},   {"ud", 0, 0},  {"lu", -5, -5}, {"rd", 5, 5}, {"udlr", 0, 0}};
  for (const auto& c : cases) {
    hold(scene, c.arrows);
    scene.updateScene(0.0f);
    const Ball::Vector a = scene.getBall()->getAcceleration();
    EXPECT_EQ(floats(a.x, a.y, a.z), floats(c.x, 0.0f, c.z)) << c.arrows;
  }

  // Drawn frames, as in a window: the key held since the last frame already moves the ball.
  gl::reset();
  hold(scene, "l");
  now += 0.5;
  scene.render();
  Ball::Vector p;
  scene.getBall()->getPosition(&p);
  EXPECT_EQ(scene.getBall()->getVelocity().x, -2.5f);
  EXPECT_EQ(p.x, -1.25f);
  EXPECT_EQ(p.z, 0.0f);
}

}  // namespace
