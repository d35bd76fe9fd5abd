#include "platform/audio/FreeLoop.h"

#include <algorithm>

#include "platform/audio/AudioLoop.h"
#include "platform/audio/AudioRing.h"

FreeLoop::FreeLoop(AudioLoop& loop, AudioRing& ring, const std::atomic<bool>& playing,
                   const std::atomic<bool>& loops)
    : LoopFeed(loop, ring, kChunkFrames), playing_(playing), loops_(loops) {}

bool FreeLoop::decode() {
  if (loop_.atPassEnd()) {
    // Whether to go round again is the caller's to say, up to the moment it plays.
    if (!playing_) return false;
    if (loops_) {
      loop_.nextPass();
    } else {
      loop_.finish();
    }
    return true;
  }
  if (ringFull()) {
    // Time to spare: the next pass's file is opened now, not at the seam, where the device
    // would wait for it.
    if (loops_) loop_.prepareNextPass();
    return false;
  }
  const size_t frames = loop_.read(chunk_.data(), kChunkFrames);
  ring_.write(chunk_.data(), frames * channels_);
  return true;
}

void FreeLoop::fill(float* out, size_t count, double, double) {
  const size_t got = ring_.read(out, count);
  std::fill(out + got, out + count, 0.0f);
}
