#include "app/PartyFrames.h"

#include <algorithm>

#include "platform/audio/MusicPlayer.h"
#include "platform/party/Party.h"
#include "scene/Scene.h"
#include "support/Log.h"

namespace {
constexpr double kLongestWait = 0.05;  // a frame shown later than this is a stall, not a rate
}

PartyFrames::PartyFrames(std::unique_ptr<Party> party) : party_(std::move(party)) {}
PartyFrames::~PartyFrames() = default;

std::unique_ptr<Scene> PartyFrames::makeScene() {
  party_->settle();
  std::unique_ptr<MusicPlayer> music;
  if (!party_->silent()) {
    Party* party = party_.get();
    music = MusicPlayer::open(
        Scene::musicPath(), [](const std::string& line) { Log("%s", line.c_str()); },
        [party] { return party->seconds(); });
  }
  return std::make_unique<Scene>(steps_.clock(), std::move(music), party_->seed());
}

void PartyFrames::stepTo(Scene& scene) {
  // A frame drawn now is on the screen at the next refresh: about one frame's time from now.
  const auto now = std::chrono::steady_clock::now();
  if (lastFrame_.time_since_epoch().count() != 0) {
    const double since = std::chrono::duration<double>(now - lastFrame_).count();
    if (since < kLongestWait) frameSeconds_ += 0.1 * (since - frameSeconds_);
  }
  lastFrame_ = now;
  steps_.stepTo(scene, FixedSteps::stepAt(party_->seconds() + frameSeconds_));
}
