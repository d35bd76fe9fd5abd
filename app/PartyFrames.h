#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "scene/FixedSteps.h"

class GuestServer;
class MusicPlayer;
class Party;
class Scene;

// The scene of a party member: floor colours from the party's seed, music at the party's place
// (unless this member is silent), and each frame stepped to the party's time at the moment it
// will be on the screen, so that every member shows the same frame. When this member's party
// meets one that has run longer, the scene starts again on that party's seed and is taken to
// its frame at once. Once a minute, and when the party changes, one line tells how it stands.
// Asked to, it welcomes guests' phones once the start is settled: the page, and the party's clock.
class PartyFrames {
 public:
  // `guestsPage`: the web page's folder served to guests; empty: no guests.
  PartyFrames(std::unique_ptr<Party> party, std::string guestsPage);
  ~PartyFrames();

  // The member's scene, once the party's start is settled.
  std::unique_ptr<Scene> makeScene();
  // Before each frame's render().
  void stepTo(Scene& scene);

 private:
  void tellState();
  void welcomeGuests();

  std::unique_ptr<Party> party_;
  std::string guestsPage_;
  std::unique_ptr<GuestServer> guests_;  // ends before the party it reads
  FixedSteps steps_;
  MusicPlayer* music_ = nullptr;  // the scene's
  int64_t startUs_ = 0;           // the scene's start
  std::chrono::steady_clock::time_point lastFrame_{};
  double frameSeconds_ = 1.0 / 60.0;  // between frames, as they come
  std::chrono::steady_clock::time_point nextCheck_{}, toldAt_{};
  size_t membersTold_ = 0;
};
