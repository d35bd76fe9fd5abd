#pragma once

#include <chrono>
#include <memory>

#include "scene/FixedSteps.h"

class MusicPlayer;
class Party;
class Scene;

// The scene of a party member: floor colours from the party's seed, music at the party's place
// (unless this member is silent), and each frame stepped to the party's time at the moment it
// will be on the screen, so that every member shows the same frame.
class PartyFrames {
 public:
  explicit PartyFrames(std::unique_ptr<Party> party);
  ~PartyFrames();

  // The member's scene, once the party's start is settled.
  std::unique_ptr<Scene> makeScene();
  // Before each frame's render().
  void stepTo(Scene& scene);

 private:
  std::unique_ptr<Party> party_;
  FixedSteps steps_;
  std::chrono::steady_clock::time_point lastFrame_{};
  double frameSeconds_ = 1.0 / 60.0;  // between frames, as they come
};
