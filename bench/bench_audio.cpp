// What decoding the music costs: the player's loop (AudioLoop, FFmpeg decoding and resampling
// to the output format) producing one second of sound, in CPU time of the decoding thread. The
// time per second of sound is directly the share of one core that playback takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/AudioFile.h"
#include "platform/audio/AudioLoop.h"
#include "platform/ResourceFolder.h"

namespace {

void BM_DecodeOneSecond(benchmark::State& state) {
  const std::string path = resourceFolder() + "/tralmix.m4a";
  auto file = AudioFile::open(path);
  if (!file) return state.SkipWithError("cannot open the music");
  // The common device format; the player converts to whatever the device takes.
  const int rate = 48000, channels = 2;
  AudioLoop loop(path, std::move(file), rate, channels);
  std::vector<float> chunk(1024 * channels);
  for (auto _ : state) {
    for (size_t frames = 0; frames < size_t(rate);) {
      if (loop.atPassEnd()) loop.nextPass();
      frames += loop.read(chunk.data(), std::min<size_t>(1024, rate - frames));
    }
  }
}

BENCHMARK(BM_DecodeOneSecond)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
