#include "app/PartyFrames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/audio/MusicPlayer.h"
#include "platform/guests/GuestServer.h"
#include "platform/party/Party.h"
#include "scene/Scene.h"
#include "support/Log.h"

namespace {
constexpr double kLongestWait = 0.05;  // a frame shown later than this is a stall, not a rate
constexpr auto kStateEvery = std::chrono::seconds(60);
constexpr auto kStateCheckEvery = std::chrono::seconds(1);
}  // namespace

PartyFrames::PartyFrames(std::unique_ptr<Party> party, std::string guestsPage)
    : party_(std::move(party)), guestsPage_(std::move(guestsPage)) {}
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
  music_ = music.get();
  startUs_ = party_->startUs();
  if (!guestsPage_.empty()) welcomeGuests();
  return std::make_unique<Scene>(steps_.clock(), std::move(music), Party::seedOf(startUs_));
}

void PartyFrames::welcomeGuests() {
  GuestServer::Options options;
  options.folder = guestsPage_;
  const Party* party = party_.get();
  guests_ = GuestServer::start(
      options,
      [party] {
        const int64_t start = party->startUs();
        return GuestClock{party->seconds(), start, Party::seedOf(start)};
      },
      [](const std::string& line) { Log("%s", line.c_str()); });
}

void PartyFrames::stepTo(Scene& scene) {
  // A frame drawn now is on the screen at the next refresh: about one frame's time from now.
  const auto now = std::chrono::steady_clock::now();
  if (lastFrame_.time_since_epoch().count() != 0) {
    const double since = std::chrono::duration<double>(now - lastFrame_).count();
    if (since < kLongestWait) frameSeconds_ += 0.1 * (since - frameSeconds_);
  }
  lastFrame_ = now;
  if (const int64_t start = party_->startUs(); start != startUs_) {  // joined a party that had run longer
    startUs_ = start;
    steps_.restart(scene, Party::seedOf(start));
  }
  steps_.stepTo(scene, FixedSteps::stepAt(party_->seconds() + frameSeconds_));
  if (now >= nextCheck_) tellState();
}

void PartyFrames::tellState() {
  const auto now = std::chrono::steady_clock::now();
  nextCheck_ = now + kStateCheckEvery;
  const Party::State state = party_->state();
  if (toldAt_.time_since_epoch().count() != 0 && state.members == membersTold_ && now - toldAt_ < kStateEvery) return;
  membersTold_ = state.members;
  toldAt_ = now;
  char clocks[32];
  std::snprintf(clocks, sizeof clocks, "%.2f ms", state.clocksApart * 1000);
  std::string music = "no music here";
  if (music_) {
    char text[64] = "music not yet in place";
    if (const std::optional<double> error = music_->partyError())
      std::snprintf(text, sizeof text, "music %+.2f ms from the party's time", *error * 1000);
    music = text;
  }
  Log("party %s: %zu member(s), their clocks %s apart as measured, %s, %s", party_->name().c_str(), state.members,
      clocks, state.followed ? "this one's clock followed" : "following another's clock", music.c_str());
}
