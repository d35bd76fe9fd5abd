#include "platform/audio/MusicPlayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/audio/AudioDevice.h"
#include "platform/audio/AudioLoop.h"
#include "platform/audio/AudioRing.h"

namespace {
constexpr double kAheadSeconds = 0.5;  // decoded audio waiting for the device, at most
constexpr size_t kChunkFrames = 1024;  // decoded per step of the decoding thread
constexpr auto kNap = std::chrono::milliseconds(10);
}  // namespace

struct MusicPlayer::Playback {
  std::unique_ptr<AudioRing> ring;  // outlives the device: its callback reads here
  std::unique_ptr<AudioLoop> loop;
  std::unique_ptr<AudioDevice> device;
  std::atomic<bool> loops{false};
  std::atomic<bool> playing{false};
  std::atomic<bool> stopping{false};
  std::thread decoder;

  ~Playback() {
    stopping = true;
    if (decoder.joinable()) decoder.join();
    device.reset();
  }

  // The device's thread: whatever is decoded, then silence (an underrun, or the end).
  static void fill(void* user, float* out, size_t count) {
    const size_t got = static_cast<Playback*>(user)->ring->read(out, count);
    std::fill(out + got, out + count, 0.0f);
  }

  // The decoding thread: keeps the ring full, a chunk at a time.
  void decode() {
    const size_t channels = static_cast<size_t>(device->channels());
    std::vector<float> chunk(kChunkFrames * channels);
    while (!stopping) {
      if (loop->ended()) return;
      if (loop->atPassEnd()) {
        // Whether to go round again is the caller's to say, up to the moment it plays.
        if (!playing) {
          std::this_thread::sleep_for(kNap);
        } else if (loops) {
          loop->nextPass();
        } else {
          loop->finish();
        }
        continue;
      }
      if (ring->space() < chunk.size()) {
        std::this_thread::sleep_for(kNap);
        continue;
      }
      const size_t frames = loop->read(chunk.data(), kChunkFrames);
      ring->write(chunk.data(), frames * channels);
    }
  }
};

std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string& path) {
  auto playback = std::make_unique<Playback>();
  try {
    // The device plays the file as close to its own rate and channels as it can.
    playback->loop = AudioLoop::open(path, [&playback](int& rate, int& channels) {
      playback->device = AudioDevice::open(rate, channels, &Playback::fill, playback.get());
      if (!playback->device) return false;
      rate = playback->device->rate();
      channels = playback->device->channels();
      return true;
    });
    if (!playback->loop) return nullptr;
    const size_t aheadFrames =
        std::max<size_t>(static_cast<size_t>(playback->device->rate() * kAheadSeconds),
                         2 * (kChunkFrames + playback->device->bufferFrames()));
    playback->ring = std::make_unique<AudioRing>(aheadFrames * playback->device->channels());
    playback->decoder = std::thread(&Playback::decode, playback.get());
  } catch (const std::exception&) {  // no memory or no thread for it: no music
    return nullptr;
  }
  return std::unique_ptr<MusicPlayer>(new MusicPlayer(std::move(playback)));
}

MusicPlayer::MusicPlayer(std::unique_ptr<Playback> playback) : playback_(std::move(playback)) {}
MusicPlayer::~MusicPlayer() = default;

void MusicPlayer::setLoops(bool loops) { playback_->loops = loops; }

void MusicPlayer::play() {
  playback_->playing = true;
  playback_->device->start();
}
