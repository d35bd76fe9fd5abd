#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio/LoopFeed.h"
#include "platform/audio/MusicSync.h"

class Stretcher;

// The loop kept where a party's shared clock says it should be, going round for ever: the
// decoder marks where in the track each chunk it writes is, jumps when the output's callback
// asks, and stretches the sound as the callback's errors say (MusicSync).
class PartyFollower final : public LoopFeed {
 public:
  using SharedClock = std::function<double()>;    // seconds on the party's clock
  using Say = std::function<void(const std::string& line)>;
  static constexpr size_t kStretchRoom = 128;  // frames a stretched chunk may have beyond its own

  // Null when the loop cannot be followed here: that needs the exact length of a pass and a
  // resampler to stretch with. `say` is told, on the decoding thread, when the music had to be
  // put back on the party's place.
  static std::unique_ptr<PartyFollower> make(SharedClock clock, AudioLoop& loop, AudioRing& ring, Say say);
  ~PartyFollower() override;

  bool decode() override;
  void fill(float* out, size_t count, double untilHeard, double drift) override;
  void deviceOpened(const AudioDevice& device) override;

  // MusicPlayer::partyError(). Any thread.
  std::optional<double> partyError() const { return sync_.partyError(); }

 private:
  PartyFollower(SharedClock clock, AudioLoop& loop, AudioRing& ring, std::unique_ptr<Stretcher> stretcher, Say say);
  void jump();

  SharedClock clock_;
  Say say_;
  MusicSync sync_;
  // The decoder's.
  std::unique_ptr<Stretcher> stretcher_;
  std::vector<float> stretched_;
  double trackFrame_ = 0;     // of the next frame the loop reads
  uint64_t ringWritten_ = 0;  // frames
  std::chrono::steady_clock::time_point lastStretch_ = std::chrono::steady_clock::now();
  // The callback's.
  std::atomic<double> latency_{0.0};  // seconds from a callback to its first sample being heard
  uint64_t ringRead_ = 0;             // frames
  uint64_t deviceFrames_ = 0;         // taken by the devices, silence and all
};
