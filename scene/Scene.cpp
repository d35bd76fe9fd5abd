#include "scene/Scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <ctime>

#include "objects/Ball.h"
#include "objects/DiscoFloor.h"
#include "objects/Ventjes.h"
#include "platform/Clock.h"
#include "platform/audio/MusicPlayer.h"
#include "platform/ResourceFolder.h"
#include "scene/InputManager.h"
#include "support/Log.h"

namespace {
constexpr int kFloorSize = 10;
constexpr float kBallRadius = 0.5f;
constexpr const char* kMusicFile = "/tralmix.m4a";
constexpr float kKeyAcceleration = 5.0f;
constexpr double kFieldOfView = 60.0;
constexpr double kNear = 1.0;
constexpr double kFar = 1000.0;

// The camera's orbit: the eye sways across the stage and back and forth towards it on two
// unrelated periods, at a fixed height, always looking at the same point above the floor's centre.
constexpr double kSwayX = 3.5;        // eye x between -3.5 and 3.5 ...
constexpr double kSwayXRate = 1.3;    // ... once every 12.1 s
constexpr double kMidZ = 9.0;         // eye z between 6.5 and 11.5 ...
constexpr double kSwayZ = 2.5;
constexpr float kSwayZDivisor = 1.239f;  // ... once every 19.5 s (a single-precision division)
constexpr double kEyeHeight = 6.0;
constexpr double kLookAtHeight = 2.0;  // looks at (0, 2, 0), a third of the way up the logo

// The music player tells when sound goes and comes back (a sound server restarted, say).
void logSound(const std::string& line) { Log("%s", line.c_str()); }
}  // namespace

std::string Scene::musicPath() { return resourceFolder() + kMusicFile; }

Scene::Scene() : Scene(absoluteTime, MusicPlayer::open(musicPath(), logSound)) {}

Scene::Scene(Clock clock_, std::unique_ptr<MusicPlayer> music_)
    : Scene(std::move(clock_), std::move(music_), static_cast<unsigned int>(std::time(nullptr))) {}

Scene::Scene(Clock clock_, std::unique_ptr<MusicPlayer> music_, unsigned int floorSeed)
    : inputManager(std::make_unique<InputManager>()),
      discofloor(std::make_unique<DiscoFloor>(kFloorSize, kFloorSize, floorSeed)),
      ventjes(std::make_unique<Ventjes>()),
      ball(std::make_unique<Ball>(kBallRadius)),
      music(std::move(music_)),
      clock(std::move(clock_)),
      oldTime(clock()) {
  if (music) music->setLoops(true);
}

Scene::~Scene() {
  // Floor, crowd, ball and input manager, in this order, then the music.
  discofloor.reset();
  ventjes.reset();
  ball.reset();
  inputManager.reset();
  music.reset();
}

void Scene::setViewportRect(Rect rect) {
  glViewport(static_cast<GLint>(rect.x), static_cast<GLint>(rect.y), static_cast<GLsizei>(rect.width),
             static_cast<GLsizei>(rect.height));
  // A zero-height (or zero-width) view has no finite aspect: keep the last projection.
  const float aspect = rect.width / rect.height;
  if (std::isfinite(aspect) && aspect != 0.0f) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, static_cast<double>(aspect), kNear, kFar);
  }
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void Scene::prepare() {
  ventjes->prepare();
  discofloor->prepare();
  if (music) music->play();
}

void Scene::updateScene(float step) {
  float accelerationX = inputManager->keyLeft ? -kKeyAcceleration : 0.0f;
  if (inputManager->keyRight) accelerationX += kKeyAcceleration;
  float accelerationZ = inputManager->keyUp ? -kKeyAcceleration : 0.0f;
  if (inputManager->keyDown) accelerationZ += kKeyAcceleration;
  ball->setAcceleration(accelerationX, accelerationZ);

  discofloor->updateWithDiffTime(step);
  ventjes->updateWithDiffTime(step);
  ball->updateWithDiffTime(step);

  advanceCameraPhase(offset, step);
}

float Scene::readClock() {
  const double now = clock();
  const float step = static_cast<float>(now - oldTime);
  oldTime = now;
  return step;
}

void Scene::advance() {
  updateScene(readClock());
  ventjes->passFrame();
}

void Scene::restart(unsigned int floorSeed) {
  *inputManager = InputManager();
  discofloor->restart(floorSeed);
  ventjes->setAnimation(0.0f, 0.0f, 0);
  *ball = Ball(kBallRadius);
  offset = 0.0f;
  oldTime = clock();
}

bool Scene::onlySteppedStateMoves() const {
  const Ball::Vector velocity = ball->getVelocity();
  return !inputManager->keyLeft && !inputManager->keyRight && !inputManager->keyUp && !inputManager->keyDown &&
         velocity.x == 0.0f && velocity.z == 0.0f;
}

StepState Scene::steppedState() const {
  return StepState{offset,
                   discofloor->getChangeTime(),
                   discofloor->getChanges(),
                   ventjes->getBounce(),
                   ventjes->getScrollcalc(),
                   ventjes->getScrollpos()};
}

void Scene::setSteppedState(const StepState& state, double clockReading) {
  offset = state.offset;
  discofloor->setTiming(state.changeTime, state.floorChanges);
  ventjes->setAnimation(state.bounce, state.scrollcalc, state.scrollpos);
  oldTime = clockReading;
}

void Scene::render() {
  updateScene(readClock());

  glEnable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  const double eyeX = kSwayX * std::sin(kSwayXRate * static_cast<double>(offset));
  const double eyeZ = kMidZ + kSwayZ * std::cos(static_cast<double>(offset / kSwayZDivisor));
  gluLookAt(eyeX, kEyeHeight, eyeZ, 0.0, kLookAtHeight, 0.0, 0.0, 1.0, 0.0);  // y up

  discofloor->render();
  ventjes->render();
  glPopMatrix();
}
