#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "platform/audio/HeardClock.h"
#include "platform/audio/MusicSync.h"

namespace {

constexpr int kRate = 44100;
constexpr int64_t kLoop = 64 * kRate;
constexpr size_t kBuffer = 16384;           // frames per callback
constexpr double kLatency = double(kBuffer) / kRate;
constexpr size_t kRingFrames = 2 * kRate;   // what the decoder keeps ahead
constexpr size_t kChunk = 1024;

// A player following a party whose start is at party time 0, on a simulated machine: a sound
// card whose clock runs `skew` off the system's, callbacks late by up to `jitter` seconds, and
// a decoder that keeps the ring full and stretches as told. Ring samples are only counted.
struct SimulatedPlayer {
  MusicSync sync{kRate, kLoop};
  double skew, jitter;
  double tick = 0.1;
  int stallAt = -1;
  double stall = 0;
  bool tells = false;  // the device tells when each callback is heard (to 0.3 ms), as a sound server can
  bool tellsDrift = false;  // ... and the card's rate, from its reports (a busy machine's) through a HeardClock
  HeardClock reports;
  int unknownAfterStall = 0;  // callbacks after the stall it cannot tell yet
  std::mt19937 random{42};
  // Decoder.
  double trackFrame = 0, stretchCarry = 0, lastStretchAt = 0;
  uint64_t ringWritten = 0;
  int putBacks = 0;  // told by the sync
  // Device.
  uint64_t ringRead = 0, deviceFrames = 0;
  double cardStart;  // party time of the device's first callback, on time

  SimulatedPlayer(double skew_, double jitter_, double joinedAt) : skew(skew_), jitter(jitter_), cardStart(joinedAt) {}

  void decode(double now) {
    while (ringWritten - ringRead + kChunk + 128 <= kRingFrames || sync.jumpWanted()) {
      if (sync.jumpWanted()) {
        trackFrame = sync.trackFrame(now + MusicSync::kLeadSeconds);
        sync.jumped();
      }
      double off = 0;
      putBacks += sync.putBack(off);
      const double stretch = sync.stretch(now - lastStretchAt);
      lastStretchAt = now;
      stretchCarry += kChunk * (1.0 + stretch);
      const auto made = static_cast<uint64_t>(stretchCarry);
      stretchCarry -= static_cast<double>(made);
      sync.mark(ringWritten, trackFrame);
      chunks[ringWritten] = {trackFrame, made};
      ringWritten += made;
      trackFrame += kChunk;  // the stretched chunk still spans kChunk frames of the track
    }
  }

  // One callback; returns how far the heard sound is from the party, in seconds (+: ahead).
  double callback(int k) {
    if (k == stallAt) cardStart += stall;  // the server ran dry: the card's timeline moves on
    const double onTime = cardStart + k * kBuffer / (kRate * (1.0 + skew));
    const double stalled = k == stallAt ? 0.2 : 0.0;  // the callback that came too late
    // The sound server wakes the device every `tick`; now and then the scheduler is late too.
    double now = std::ceil(onTime / tick) * tick + stalled + std::uniform_real_distribution<double>(0.0, 0.001)(random);
    if (random() % 20 == 0) now += std::uniform_real_distribution<double>(0.0, jitter)(random);
    decode(now);
    const size_t available = ringWritten - ringRead;
    double told = tells ? onTime + kLatency - now + std::uniform_real_distribution<double>(-3e-4, 3e-4)(random) : NAN;
    if (stallAt >= 0 && k >= stallAt && k < stallAt + unknownAfterStall) told = INFINITY;
    if (tellsDrift) {  // frame 0 heard as the callback's first frame says, the answer a little late
      double late = std::uniform_real_distribution<double>(0.0, 5e-4)(random);
      if (random() % 8 == 0) late += std::uniform_real_distribution<double>(0.005, 0.04)(random);
      reports.note(now, onTime + kLatency - double(deviceFrames) / kRate + late);  // at the nominal rate
    }
    const MusicSync::Fix fix = sync.onCallback(now, deviceFrames, kLatency, told, ringRead, available, kBuffer,
                                               tellsDrift ? reports.drift() : NAN);
    ringRead += std::min<size_t>(fix.drop, available);
    const size_t firstFromRing = ringRead;
    const size_t fromRing = std::min(kBuffer - fix.silence, ringWritten - ringRead);
    ringRead += fromRing;
    deviceFrames += kBuffer;
    if (fix.silence > 0 || fromRing == 0) return NAN;  // nothing to judge
    // The first sample from the ring is heard after the silence, a latency after on time.
    const double heardAt = onTime + kLatency + fix.silence / (kRate * (1.0 + skew));
    return sync.loopError(trackAt(firstFromRing), sync.trackFrame(heardAt)) / kRate;
  }

  // Where ring frame `frame` truly is in the track: its chunk's start, and a stretched chunk's
  // frames spread evenly over the track frames it holds.
  struct Chunk {
    double track;
    uint64_t frames;
  };
  std::map<uint64_t, Chunk> chunks;  // by first ring frame
  double trackAt(uint64_t frame) const {
    const auto chunk = std::prev(chunks.upper_bound(frame));
    return chunk->second.track + double(frame - chunk->first) * kChunk / double(chunk->second.frames);
  }
};

struct Outcome {
  double worst = 0;  // seconds off the party, at most, from `judgedFrom` on
  double last = 0;
  int silent = 0;    // callbacks with silence in them
};

// Ten minutes of callbacks.
Outcome play(SimulatedPlayer& player, double judgedFrom) {
  Outcome outcome;
  for (int k = 0; k < static_cast<int>(600 * kRate / kBuffer); ++k) {
    const double error = player.callback(k);
    if (std::isnan(error)) {
      ++outcome.silent;
      continue;
    }
    if (k * kLatency > judgedFrom) outcome.worst = std::max(outcome.worst, std::fabs(error));
    outcome.last = error;
  }
  return outcome;
}

// A sound card 100 ppm fast (and one as slow), its callbacks coming on a sound server's 100 ms
// wake-ups and now and then 30 ms later still: the sound lands on the party once, is within
// 2 ms once the card's pace is learnt, and stays there without a jump.
TEST(MusicSync, FollowsThePartyAgainstADriftingSoundCard) {
  for (double skew : {100e-6, -100e-6}) {
    SimulatedPlayer player(skew, 0.03, 1234.5);
    const Outcome outcome = play(player, 150);
    EXPECT_LT(outcome.worst, 0.002) << skew;
    EXPECT_LT(std::fabs(outcome.last), 0.001) << skew;
    EXPECT_LT(outcome.silent, 20) << skew;  // the landing only
  }
}

// A card 113 ppm fast (and one as slow) on a device that tells when its samples are heard and,
// from the same reports, how fast the card plays: the stretch starts from the card's rate (in
// part while the reports span little) rather than learning it from the errors over half a
// minute, and the sound is within 0.85 ms of the party from its first seconds (a millisecond
// without it, the lag of the drift over the correction's 10 s).
TEST(MusicSync, FollowsThePartyAtOnceWhereTheDeviceTellsWhenItIsHeard) {
  for (double skew : {113e-6, -113e-6}) {
    SimulatedPlayer player(skew, 0.03, 1234.5);
    player.tells = true;
    player.tellsDrift = true;
    const Outcome outcome = play(player, 5);
    EXPECT_LT(outcome.worst, 0.00085) << skew;
    EXPECT_LT(outcome.silent, 16) << skew;  // the landing only: a jump 3 s ahead, and the wait for it
  }
}

// A machine too busy to feed the card in time: the server runs dry and the card's timeline
// moves on by 60 ms. The sound lands on the party again at once, and is within 2 ms again once
// the new pace is learnt.
TEST(MusicSync, LandsAgainWhenTheCardsTimelineMoves) {
  SimulatedPlayer player(50e-6, 0.03, 99.0);
  player.stallAt = static_cast<int>(200 / kLatency);
  player.stall = 0.06;
  const Outcome outcome = play(player, 400);
  EXPECT_LT(outcome.worst, 0.002);
  EXPECT_LT(outcome.silent, 22);  // the landings only
}

// Sound back after five seconds away (a sound server restarted): further off than the ring
// holds, so the decoder jumps ahead and the sound waits for the party over several callbacks.
// It is said once, and the sound is on the party's place again.
TEST(MusicSync, LandsOnceWhenTheSoundComesBackFarOff) {
  SimulatedPlayer player(0.0, 0.03, 10.0);
  player.tells = true;
  player.stallAt = 100;
  player.stall = 5.0;
  const Outcome outcome = play(player, 60);
  EXPECT_LT(outcome.worst, 0.001);
  EXPECT_EQ(player.putBacks, 1);
}

// The sound server held up: its sink read on without the stream, whose timeline moved on by a
// graph cycle, and the device does not know when its sound is heard until fresh reports come.
// Meanwhile the sound plays on as it is; then it is put back once, on the party's place.
TEST(MusicSync, LandsOnceOnThePartysPlaceWhenTheToldTimelineMoves) {
  SimulatedPlayer player(50e-6, 0.03, 10.0);
  player.tells = true;
  player.stallAt = 300;
  player.stall = 0.17;
  player.unknownAfterStall = 4;
  const Outcome outcome = play(player, player.stallAt * kLatency + 2.0);
  EXPECT_LT(outcome.worst, 0.001);
  EXPECT_EQ(player.putBacks, 1);
  EXPECT_LT(outcome.silent, 16 + 1);  // the first landing, and the one callback the put-back waits
}

}  // namespace
