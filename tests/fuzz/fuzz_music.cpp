// Sound file bytes -> demuxing -> decoding -> trimming to the stated length -> the endless loop's
// conversion, as the music player's decoding thread drives it: a first pass, one seam into a
// second pass, then the end. Output is capped so that a long file does not slow the fuzzer.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "FuzzInput.h"
#include "platform/audio/AudioFile.h"
#include "platform/audio/AudioLoop.h"

namespace {
constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr size_t kChunkFrames = 1024;
constexpr size_t kMaxFrames = 4 * kRate;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzInput input;
  const std::string& path = input.write(data, size);
  if (!AudioFile::readsToTheEnd(path)) return 0;  // the player refuses these
  std::unique_ptr<AudioFile> file = AudioFile::open(path);
  if (!file) return 0;
  if (file->sampleRate() <= 0 || file->channels() <= 0) std::abort();

  AudioLoop loop(path, std::move(file), kRate, kChannels);
  std::vector<float> chunk(kChunkFrames * kChannels);
  size_t frames = 0;
  int passes = 1;
  while (!loop.ended() && frames < kMaxFrames) {
    if (loop.atPassEnd()) {
      if (passes++ < 2) {
        loop.nextPass();
      } else {
        loop.finish();
      }
      continue;
    }
    const size_t got = loop.read(chunk.data(), kChunkFrames);
    if (got > kChunkFrames) std::abort();
    for (size_t i = 0; i < got * kChannels; ++i)
      if (!std::isfinite(chunk[i])) std::abort();
    frames += got;
    if (got == 0 && !loop.atPassEnd() && !loop.ended()) std::abort();  // no progress: a hang
  }
  return 0;
}
