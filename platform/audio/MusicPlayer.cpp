#include "platform/audio/MusicPlayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/audio/AudioDevice.h"
#include "platform/audio/AudioLoop.h"
#include "platform/audio/AudioRing.h"
#include "platform/audio/MusicSync.h"
#include "platform/audio/SoundRetry.h"
#include "platform/audio/Stretcher.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr double kAheadSeconds = 2.0;  // decoded audio waiting for the device, at most
constexpr size_t kChunkFrames = 1024;  // decoded per step of the decoding thread
constexpr auto kNap = std::chrono::milliseconds(10);
constexpr int kMaxChannels = 8;  // what sound devices take
constexpr size_t kStretchRoom = 128;  // frames a stretched chunk may have beyond its own
}  // namespace

struct MusicPlayer::Playback {
  MusicPlayer::Report report;
  std::unique_ptr<AudioRing> ring;  // outlives the device: its callback reads here
  std::unique_ptr<AudioLoop> loop;
  std::unique_ptr<AudioDevice> device;  // the decoding thread's, once that runs
  bool deviceStarted = false;
  std::string lostDriver;  // the one the last device played through
  SoundRetry retry{Clock::now()};
  std::atomic<bool> loops{false};
  std::atomic<bool> playing{false};
  std::atomic<bool> stopping{false};
  std::thread decoder;

  // Following a shared clock: the decoder's side, then the callback's.
  MusicPlayer::SharedClock follow;
  std::unique_ptr<MusicSync> sync;
  std::unique_ptr<Stretcher> stretcher;
  std::vector<float> stretched;
  double trackFrame = 0;       // of the next frame the loop reads
  uint64_t ringWritten = 0;    // frames
  Clock::time_point lastStretch = Clock::now();
  std::atomic<double> latency{0.0};  // seconds from a callback to its first sample being heard
  uint64_t ringRead = 0;             // frames
  uint64_t deviceFrames = 0;         // taken by the devices, silence and all

  ~Playback() {
    stopping = true;
    if (decoder.joinable()) decoder.join();
    device.reset();
  }

  void say(const std::string& line) {
    if (report && retry.news(line)) report(line);
  }

  // The device's thread: whatever is decoded, then silence (an underrun, or the end).
  static void fill(void* user, float* out, size_t count, double untilHeard, double drift) {
    auto* self = static_cast<Playback*>(user);
    if (self->sync) return self->fillFollowing(out, count, untilHeard, drift);
    const size_t got = self->ring->read(out, count);
    std::fill(out + got, out + count, 0.0f);
  }

  // The same, landing on the shared clock's place in the loop first when it is off.
  void fillFollowing(float* out, size_t count, double untilHeard, double drift) {
    const size_t channels = static_cast<size_t>(loop->outputChannels());
    const size_t frames = count / channels;
    const MusicSync::Fix fix = sync->onCallback(follow(), deviceFrames, latency.load(std::memory_order_relaxed),
                                                untilHeard, ringRead, ring->available() / channels, frames, drift);
    deviceFrames += frames;
    ringRead += ring->skip(fix.drop * channels) / channels;
    const size_t quiet = fix.silence * channels;
    std::fill(out, out + quiet, 0.0f);
    const size_t got = ring->read(out + quiet, count - quiet);
    ringRead += got / channels;
    std::fill(out + quiet + got, out + count, 0.0f);
  }

  // On the decoding thread, following the shared clock: a jump when the callback asks for one,
  // else the next chunk of the loop, stretched as the callback's errors say.
  void decodeFollowing(std::vector<float>& chunk) {
    const size_t channels = static_cast<size_t>(loop->outputChannels());
    if (sync->jumpWanted()) {
      const double loopFrames = static_cast<double>(sync->loopFrames());
      const double target = sync->trackFrame(follow() + MusicSync::kLeadSeconds);
      const double from = std::fmod(trackFrame, loopFrames);
      loop->skipLooping(static_cast<uint64_t>(std::fmod(target - from + loopFrames, loopFrames)));
      trackFrame = target;
      stretcher = Stretcher::make(loop->outputRate(), loop->outputChannels());  // nothing held from before
      sync->jumped();
    }
    const Clock::time_point now = Clock::now();
    stretcher->setStretch(sync->stretch(std::chrono::duration<double>(now - lastStretch).count()));
    lastStretch = now;
    const double firstOut = trackFrame - stretcher->heldFrames();
    const size_t frames = loop->readLooping(chunk.data(), kChunkFrames);
    trackFrame += static_cast<double>(frames);
    const size_t made = stretcher->process(chunk.data(), frames, stretched);
    sync->mark(ringWritten, firstOut);
    ringWritten += ring->write(stretched.data(), made * channels) / channels;
  }

  std::unique_ptr<AudioDevice> openDevice(int rate, int channels, bool exactly, std::string& why) {
    const Clock::time_point now = Clock::now();
    auto opened = AudioDevice::open(rate, channels, &Playback::fill, this, exactly, why,
                                    AudioDevice::driversAfter(lostDriver, !retry.patient(now), follow != nullptr));
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
      noteLatency();
      if (device) say("sound back: " + device->driver() + " at " + std::to_string(device->rate()) + " Hz");
    }
    if (device && playing && !deviceStarted && decodedAhead()) {
      device->start();
      deviceStarted = true;
    }
  }

  // Following needs the exact length of a pass and a resampler to stretch with; without them
  // the loop plays from its start, as alone.
  void startFollowing() {
    stretcher = Stretcher::make(loop->outputRate(), loop->outputChannels());
    if (loop->passFrames() <= 0 || !stretcher) {
      say("the music plays from its start: it cannot follow the party here");
      return;
    }
    sync = std::make_unique<MusicSync>(loop->outputRate(), loop->passFrames());
  }

  // SDL keeps about one callback's worth queued at the sound server.
  void noteLatency() {
    if (device) latency = static_cast<double>(device->bufferFrames()) / device->rate();
  }

  // A device started on a nearly empty ring takes silence for whatever the decoder has not made
  // yet when it asks, which on a busy machine is soon after the start: it starts once the ring is
  // full, or holds all there is to play.
  bool decodedAhead() const { return ringFull() || loop->ended(); }

  // No room for another chunk.
  bool ringFull() const {
    const size_t room = kChunkFrames + (sync ? kStretchRoom : 0);
    return ring->space() < room * static_cast<size_t>(loop->outputChannels());
  }

  // The decoding thread: keeps the ring full, a chunk at a time, and the sound going.
  void decode() {
    const size_t channels = static_cast<size_t>(loop->outputChannels());
    std::vector<float> chunk(kChunkFrames * channels);
    while (!stopping) {
      keepSound();
      if (loop->ended()) {
        std::this_thread::sleep_for(kNap);
        continue;
      }
      if (sync) {
        double off = 0;
        if (sync->putBack(off))
          say("the music was " + std::to_string(std::lround(off * 1000)) + " ms off the party's place: put back");
        if (ringFull() && !sync->jumpWanted()) {
          loop->prepareNextPass();
          std::this_thread::sleep_for(kNap);
        } else {
          decodeFollowing(chunk);
        }
        continue;
      }
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
      if (ringFull()) {
        // Time to spare: the next pass's file is opened now, not at the seam, where the
        // device would wait for it.
        if (loops) loop->prepareNextPass();
        std::this_thread::sleep_for(kNap);
        continue;
      }
      const size_t frames = loop->read(chunk.data(), kChunkFrames);
      ring->write(chunk.data(), frames * channels);
    }
    AudioDevice::threadDone();
  }
};

std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string& path, Report report, SharedClock follow) {
  auto playback = std::make_unique<Playback>();
  playback->report = std::move(report);
  playback->follow = std::move(follow);
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
    playback->noteLatency();
    if (playback->follow) playback->startFollowing();
    const size_t aheadFrames = static_cast<size_t>(loop.outputRate() * kAheadSeconds) + kChunkFrames + kStretchRoom;
    playback->ring = std::make_unique<AudioRing>(aheadFrames * loop.outputChannels());
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
  return playback_->sync ? playback_->sync->partyError() : std::nullopt;
}
