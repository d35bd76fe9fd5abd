#include "platform/audio/PartyFollower.h"

#include <algorithm>
#include <cmath>

#include "platform/audio/AudioDevice.h"
#include "platform/audio/AudioLoop.h"
#include "platform/audio/AudioRing.h"
#include "platform/audio/Stretcher.h"

std::unique_ptr<PartyFollower> PartyFollower::make(SharedClock clock, AudioLoop& loop, AudioRing& ring, Say say) {
  if (loop.passFrames() <= 0) return nullptr;
  auto stretcher = Stretcher::make(loop.outputRate(), loop.outputChannels());
  if (!stretcher) return nullptr;
  return std::unique_ptr<PartyFollower>(
      new PartyFollower(std::move(clock), loop, ring, std::move(stretcher), std::move(say)));
}

PartyFollower::PartyFollower(SharedClock clock, AudioLoop& loop, AudioRing& ring,
                             std::unique_ptr<Stretcher> stretcher, Say say)
    : LoopFeed(loop, ring, kChunkFrames + kStretchRoom),
      clock_(std::move(clock)),
      say_(std::move(say)),
      sync_(loop.outputRate(), loop.passFrames()),
      stretcher_(std::move(stretcher)) {}

PartyFollower::~PartyFollower() = default;

// SDL keeps about one callback's worth queued at the sound server.
void PartyFollower::deviceOpened(const AudioDevice& device) {
  latency_ = static_cast<double>(device.bufferFrames()) / device.rate();
}

// A jump when the callback asks for one, else the next chunk of the loop, stretched as the
// callback's errors say.
bool PartyFollower::decode() {
  double off = 0;
  if (sync_.putBack(off))
    say_("the music was " + std::to_string(std::lround(off * 1000)) + " ms off the party's place: put back");
  if (ringFull() && !sync_.jumpWanted()) {
    loop_.prepareNextPass();
    return false;
  }
  if (sync_.jumpWanted()) jump();
  const auto now = std::chrono::steady_clock::now();
  stretcher_->setStretch(sync_.stretch(std::chrono::duration<double>(now - lastStretch_).count()));
  lastStretch_ = now;
  const double firstOut = trackFrame_ - stretcher_->heldFrames();
  const size_t frames = loop_.readLooping(chunk_.data(), kChunkFrames);
  trackFrame_ += static_cast<double>(frames);
  const size_t made = stretcher_->process(chunk_.data(), frames, stretched_);
  sync_.mark(ringWritten_, firstOut);
  ringWritten_ += ring_.write(stretched_.data(), made * channels_) / channels_;
  return true;
}

void PartyFollower::jump() {
  const double loopFrames = static_cast<double>(sync_.loopFrames());
  const double target = sync_.trackFrame(clock_() + MusicSync::kLeadSeconds);
  const double from = std::fmod(trackFrame_, loopFrames);
  loop_.skipLooping(static_cast<uint64_t>(std::fmod(target - from + loopFrames, loopFrames)));
  trackFrame_ = target;
  stretcher_ = Stretcher::make(loop_.outputRate(), loop_.outputChannels());  // nothing held from before
  sync_.jumped();
}

// Lands on the shared clock's place in the loop first when it is off.
void PartyFollower::fill(float* out, size_t count, double untilHeard, double drift) {
  const size_t frames = count / channels_;
  const MusicSync::Fix fix = sync_.onCallback(clock_(), deviceFrames_, latency_.load(std::memory_order_relaxed),
                                              untilHeard, ringRead_, ring_.available() / channels_, frames, drift);
  deviceFrames_ += frames;
  ringRead_ += ring_.skip(fix.drop * channels_) / channels_;
  const size_t quiet = fix.silence * channels_;
  std::fill(out, out + quiet, 0.0f);
  const size_t got = ring_.read(out + quiet, count - quiet);
  ringRead_ += got / channels_;
  std::fill(out + quiet + got, out + count, 0.0f);
}
