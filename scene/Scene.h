#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Rect.h"
#include "scene/StepState.h"

class InputManager;
class DiscoFloor;
class Ventjes;
class Ball;
class MusicPlayer;

// Owns the scene objects and the music, keeps the clock, and draws one frame per render():
// advance everything by the time since the last frame, clear, place the swaying camera, draw.
class Scene {
 public:
  using Clock = std::function<double()>;  // seconds, as a double

  // The demo's scene: the steady clock and the looping music from the resource folder.
  Scene();
  // A scene on another clock and with the given player (or none): frame capture and tests.
  Scene(Clock clock, std::unique_ptr<MusicPlayer> music);
  // The same with the floor's colours drawn from a chosen seed.
  Scene(Clock clock, std::unique_ptr<MusicPlayer> music, unsigned int floorSeed);
  ~Scene();

  // The music the demo loops.
  static std::string musicPath();

  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  InputManager* getInputManager() const { return inputManager.get(); }
  Ball* getBall() const { return ball.get(); }
  DiscoFloor* getFloor() const { return discofloor.get(); }
  Ventjes* getVentjes() const { return ventjes.get(); }
  float getOffset() const { return offset; }

  // Viewport and projection for the current GL context; leaves the modelview matrix current.
  void setViewportRect(Rect rect);
  // Loads the objects' textures into the current GL context and starts the music.
  void prepare();
  // Advances every object by one time step in seconds.
  void updateScene(float step);
  // One frame into the current GL context; the caller swaps buffers.
  void render();
  // A frame's clock reading and update without drawing it: a frame stepped over on the way to
  // a later one leaves the scene as render() would.
  void advance();

  // Back to how a new scene with this floor seed starts, reading the clock afresh, without
  // making the objects again: the textures and the music stay. Releases the keys.
  void restart(unsigned int floorSeed);
  // Whether steps change nothing but the StepState: no key pushes the ball and it rests.
  bool onlySteppedStateMoves() const;
  // The stepped state now, and the time of the clock reading the last update ended at.
  StepState steppedState() const;
  double lastClockReading() const { return oldTime; }
  // Puts the scene where updates would have taken it (the floor no fewer changes on than now),
  // with `clockReading` as the last reading of the clock.
  void setSteppedState(const StepState& state, double clockReading);

 private:
  float readClock();
  std::unique_ptr<InputManager> inputManager;
  std::unique_ptr<DiscoFloor> discofloor;
  std::unique_ptr<Ventjes> ventjes;
  std::unique_ptr<Ball> ball;
  std::unique_ptr<MusicPlayer> music;
  Clock clock;
  double oldTime = 0.0;
  float offset = 0.0f;  // camera phase: grows by step / 2.5
};
