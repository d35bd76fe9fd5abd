#pragma once

#include <cstddef>
#include <vector>

class AudioDevice;
class AudioLoop;
class AudioRing;

// How the music player's loop reaches its ring, a chunk at a time on the decoding thread, and
// the ring its sound output, in the output's callback: as it comes (FreeLoop), or kept on a
// party's place (PartyFollower). The loop and the ring outlive it.
class LoopFeed {
 public:
  static constexpr size_t kChunkFrames = 1024;  // decoded per step of the decoding thread

  virtual ~LoopFeed() = default;
  LoopFeed(const LoopFeed&) = delete;
  LoopFeed& operator=(const LoopFeed&) = delete;

  // Decoding thread: the next chunk, or the time to spare put to use. False when there was
  // nothing to do for now: the thread naps.
  virtual bool decode() = 0;
  // The output's thread: `count` samples for `out`, as AudioDevice::Fill. Must not block.
  virtual void fill(float* out, size_t count, double untilHeard, double drift) = 0;
  // Decoding thread: `device` takes the samples from now on.
  virtual void deviceOpened(const AudioDevice&) {}

  // No room in the ring for another chunk.
  bool ringFull() const;

 protected:
  // `chunkRoom`: the most frames one decode() writes.
  LoopFeed(AudioLoop& loop, AudioRing& ring, size_t chunkRoom);

  AudioLoop& loop_;
  AudioRing& ring_;
  const size_t channels_;
  std::vector<float> chunk_;  // kChunkFrames, decoded

 private:
  size_t chunkRoom_;
};
