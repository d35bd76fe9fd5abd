#include "platform/audio/MusicPlayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/audio/AudioDevice.h"
#include "platform/audio/AudioLoop.h"
#include "platform/audio/AudioRing.h"
#include "platform/audio/FreeLoop.h"
#include "platform/audio/PartyFollower.h"
#include "platform/audio/SoundRetry.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr double kAheadSeconds = 2.0;  // decoded audio waiting for the device, at most
constexpr auto kNap = std::chrono::milliseconds(10);
constexpr int kMaxChannels = 8;  // what sound devices take
}  // namespace

struct MusicPlayer::Playback {
  MusicPlayer::Report report;
  bool timed = false;  // a party's music: the sound server's timed output first
  std::unique_ptr<AudioRing> ring;  // outlives the device: its callback reads here
  std::unique_ptr<AudioLoop> loop;
  std::unique_ptr<LoopFeed> feed;  // the loop to the ring, and the ring to the device
  PartyFollower* follower = nullptr;  // the feed, when it follows a party
  std::unique_ptr<AudioDevice> device;  // the decoding thread's, once that runs
  bool deviceStarted = false;
  std::string lostDriver;  // the one the last device played through
  SoundRetry retry{Clock::now()};
  std::atomic<bool> loops{false};
  std::atomic<bool> playing{false};
  std::atomic<bool> stopping{false};
  std::thread decoder;

  ~Playback() {
    stopping = true;
    if (decoder.joinable()) decoder.join();
    device.reset();
  }

  void say(const std::string& line) {
    if (report && retry.news(line)) report(line);
  }

  // The device's thread.
  static void fill(void* user, float* out, size_t count, double untilHeard, double drift) {
    static_cast<Playback*>(user)->feed->fill(out, count, untilHeard, drift);
  }

  // Following needs the exact length of a pass and a resampler to stretch with; without them
  // the loop plays from its start, as alone.
  std::unique_ptr<LoopFeed> makeFeed(MusicPlayer::SharedClock follow) {
    if (follow) {
      auto tell = [this](const std::string& line) { say(line); };
      auto following = PartyFollower::make(std::move(follow), *loop, *ring, tell);
      follower = following.get();
      if (following) return following;
      say("the music plays from its start: it cannot follow the party here");
    }
    return std::make_unique<FreeLoop>(*loop, *ring, playing, loops);
  }

  std::unique_ptr<AudioDevice> openDevice(int rate, int channels, bool exactly, std::string& why) {
    const Clock::time_point now = Clock::now();
    auto opened = AudioDevice::open(rate, channels, &Playback::fill, this, exactly, why,
                                    AudioDevice::driversAfter(lostDriver, !retry.patient(now), timed));
    if (opened) {
      retry.opened(now);
      lostDriver = opened->driver();
    } else {
      retry.failed(now);
    }
    return opened;
  }

  // On the decoding thread: drops a device that went away, looks for one now and then while
  // there is none, and starts it once the caller has said play().
  void keepSound() {
    if (device && device->lost()) {
      say("sound lost: the " + device->driver() + " device went away");
      retry.lost(Clock::now());
      device.reset();  // SDL takes a second or so to let a dead server's device go
    }
    if (!device && retry.due(Clock::now())) {
      std::string why;
      // The ring holds samples made for the device before: the new one takes them as they are.
      device = openDevice(loop->outputRate(), loop->outputChannels(), true, why);
      deviceStarted = false;
      if (device) {
        feed->deviceOpened(*device);
        say("sound back: " + device->driver() + " at " + std::to_string(device->rate()) + " Hz");
      }
    }
    if (device && playing && !deviceStarted && decodedAhead()) {
      device->start();
      deviceStarted = true;
    }
  }

  // A device started on a nearly empty ring takes silence for whatever the decoder has not made
  // yet when it asks, which on a busy machine is soon after the start: it starts once the ring is
  // full, or holds all there is to play.
  bool decodedAhead() const { return feed->ringFull() || loop->ended(); }

  // The decoding thread: keeps the ring full, a chunk at a time, and the sound going.
  void decode() {
    while (!stopping) {
      keepSound();
      if (loop->ended() || !feed->decode()) std::this_thread::sleep_for(kNap);
    }
    AudioDevice::threadDone();
  }
};

std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string& path, Report report, SharedClock follow) {
  auto playback = std::make_unique<Playback>();
  playback->report = std::move(report);
  playback->timed = follow != nullptr;
  try {
    AudioDevice::nameStreams();
    // The device plays the file as close to its own rate and channels as it can; without a
    // device the samples are made for one that takes the file as it is.
    std::string why;
    playback->loop = AudioLoop::open(path, [&playback, &why](int& rate, int& channels) {
      channels = std::min(channels, kMaxChannels);
      playback->device = playback->openDevice(rate, channels, false, why);
      if (playback->device) {
        rate = playback->device->rate();
        channels = playback->device->channels();
      }
      return true;
    });
    if (!playback->loop) return nullptr;
    if (!playback->device) playback->say("no sound: " + why);
    const AudioLoop& loop = *playback->loop;
    const size_t aheadFrames =
        static_cast<size_t>(loop.outputRate() * kAheadSeconds) + LoopFeed::kChunkFrames + PartyFollower::kStretchRoom;
    playback->ring = std::make_unique<AudioRing>(aheadFrames * loop.outputChannels());
    playback->feed = playback->makeFeed(std::move(follow));
    if (playback->device) playback->feed->deviceOpened(*playback->device);
    playback->decoder = std::thread(&Playback::decode, playback.get());
  } catch (const std::exception&) {  // no memory or no thread for it: no music
    return nullptr;
  }
  return std::unique_ptr<MusicPlayer>(new MusicPlayer(std::move(playback)));
}

MusicPlayer::MusicPlayer(std::unique_ptr<Playback> playback) : playback_(std::move(playback)) {}
MusicPlayer::~MusicPlayer() = default;

void MusicPlayer::setLoops(bool loops) { playback_->loops = loops; }

void MusicPlayer::play() { playback_->playing = true; }

// The follower is made in open(), before the decoding thread, and kept as long as the player.
std::optional<double> MusicPlayer::partyError() const {
  return playback_->follower ? playback_->follower->partyError() : std::nullopt;
}
