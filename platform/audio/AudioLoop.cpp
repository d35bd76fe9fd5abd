#include "platform/audio/AudioLoop.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/AudioFile.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace {

// Sound devices order their channels by count: mono; L R; L R LFE; L R BL BR; L R LFE BL BR;
// L R C LFE BL BR; L R C LFE BC SL SR; L R C LFE BL BR SL SR. Each is FFmpeg's native order for
// that set of speakers.
AVChannelLayout outputLayout(int channels) {
  static const uint64_t kMasks[] = {
      AV_CH_LAYOUT_MONO,
      AV_CH_LAYOUT_STEREO,
      AV_CH_LAYOUT_2POINT1,
      AV_CH_LAYOUT_QUAD,
      AV_CH_LAYOUT_QUAD | AV_CH_LOW_FREQUENCY,
      AV_CH_LAYOUT_5POINT1_BACK,
      AV_CH_LAYOUT_6POINT1,
      AV_CH_LAYOUT_7POINT1,
  };
  AVChannelLayout layout{};
  if (channels >= 1 && channels <= 8) {
    av_channel_layout_from_mask(&layout, kMasks[channels - 1]);
  } else {
    av_channel_layout_default(&layout, channels);
  }
  return layout;
}

size_t frameBytes(const AVFrame* frame) {
  return static_cast<size_t>(frame->nb_samples) * frame->ch_layout.nb_channels *
         av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
}

}  // namespace

AudioLoop::AudioLoop(std::string path, std::unique_ptr<AudioFile> firstPass, int outputRate, int outputChannels,
                     size_t cacheLimit)
    : path_(std::move(path)),
      file_(std::move(firstPass)),
      outputRate_(outputRate),
      outputChannels_(outputChannels),
      cacheLimit_(cacheLimit) {
  if (!file_ || outputRate_ <= 0 || outputChannels_ <= 0) state_ = State::Ended;
}

std::unique_ptr<AudioLoop> AudioLoop::open(const std::string& path, const OutputChoice& chooseOutput,
                                           size_t cacheLimit) {
  if (!AudioFile::readsToTheEnd(path)) return nullptr;
  std::unique_ptr<AudioFile> file = AudioFile::open(path);
  if (!file) return nullptr;
  const int fileRate = file->sampleRate();
  const int64_t length = file->length();
  int rate = fileRate, channels = file->channels();
  if (!chooseOutput(rate, channels)) return nullptr;
  auto loop = std::make_unique<AudioLoop>(path, std::move(file), rate, channels, cacheLimit);
  // Unresampled, a pass is exactly as long as the track.
  if (rate == fileRate) loop->passFrames_ = length;
  return loop;
}

AudioLoop::~AudioLoop() {
  dropCache();
  swr_free(&resampler_);
}

size_t AudioLoop::read(float* out, size_t frames) {
  const size_t channels = static_cast<size_t>(outputChannels_);
  size_t done = 0;
  while (done < frames) {
    const size_t ready = (pending_.size() - pendingAt_) / channels;
    if (ready > 0) {
      const size_t take = std::min(ready, frames - done);
      std::memcpy(out + done * channels, pending_.data() + pendingAt_, take * channels * sizeof(float));
      pendingAt_ += take * channels;
      done += take;
      continue;
    }
    if (state_ == State::Finishing) state_ = State::Ended;
    if (state_ != State::Playing) break;
    const AVFrame* frame = nextFrame();
    if (!frame) {
      state_ = State::PassEnd;
      break;
    }
    framesThisPass_ += frame->nb_samples;
    if (!convert(frame)) state_ = State::Ended;
  }
  return done;
}

size_t AudioLoop::readLooping(float* out, size_t frames) {
  size_t done = 0;
  while (done < frames && !ended()) {
    done += read(out + done * outputChannels_, frames - done);
    if (atPassEnd()) nextPass();
  }
  return done;
}

void AudioLoop::skipLooping(uint64_t frames) {
  // Whole passes are the same samples over again: only the part of the last one needs decoding.
  if (passFrames_ > 0) frames %= static_cast<uint64_t>(passFrames_);
  std::vector<float> scratch(4096 * static_cast<size_t>(outputChannels_));
  while (frames > 0 && !ended()) frames -= readLooping(scratch.data(), std::min<uint64_t>(frames, 4096));
}

void AudioLoop::nextPass() {
  if (state_ != State::PassEnd) return;
  if (framesThisPass_ == 0) {  // nothing decodes: end rather than reopen the file forever
    state_ = State::Ended;
    return;
  }
  framesThisPass_ = 0;
  if (cacheComplete_) {
    replayAt_ = 0;
    state_ = State::Playing;
    return;
  }
  file_ = nextFile_ ? std::move(nextFile_) : AudioFile::open(path_);
  if (file_) {
    state_ = State::Playing;
  } else {
    finish();  // the file went away: let out what the resampler still holds
  }
}

void AudioLoop::prepareNextPass() {
  if (nextFile_ || cacheComplete_ || caching_ || state_ == State::Ended) return;
  nextFile_ = AudioFile::open(path_);
}

void AudioLoop::finish() {
  if (state_ != State::PassEnd) return;
  state_ = State::Finishing;
  file_.reset();
  nextFile_.reset();
  if (!resampler_) return;
  const int room = swr_get_out_samples(resampler_, 0);
  if (room <= 0) return;
  pending_.resize(static_cast<size_t>(room) * outputChannels_);
  pendingAt_ = 0;
  auto* to = reinterpret_cast<uint8_t*>(pending_.data());
  const int made = swr_convert(resampler_, &to, room, nullptr, 0);
  pending_.resize(static_cast<size_t>(std::max(made, 0)) * outputChannels_);
}

size_t AudioLoop::bytesHeld() const { return cacheBytes_ + pending_.capacity() * sizeof(float); }

AVFrame* AudioLoop::nextFrame() {
  if (cacheComplete_) return replayAt_ < cache_.size() ? cache_[replayAt_++] : nullptr;
  AVFrame* frame = file_ ? file_->nextFrame() : nullptr;
  if (!caching_) return frame;
  if (frame) {
    keepForReplay(frame);
  } else {
    caching_ = false;  // only the first pass is ever kept
    cacheComplete_ = !cache_.empty();
    if (cacheComplete_) file_.reset();
  }
  return frame;
}

bool AudioLoop::convert(const AVFrame* frame) {
  const bool sameInput = resampler_ && frame->sample_rate == inputRate_ && frame->format == inputFormat_ &&
                         frame->ch_layout.nb_channels == inputChannels_;
  if (!sameInput) {
    // Files rarely change format midway; when one does, the resampler starts over for it.
    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
      return false;
    }
    AVChannelLayout out = outputLayout(outputChannels_);
    swr_free(&resampler_);
    const int made = swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_FLT, outputRate_, &in,
                                         static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (made < 0 || swr_init(resampler_) < 0) {
      swr_free(&resampler_);
      return false;
    }
    inputRate_ = frame->sample_rate;
    inputFormat_ = frame->format;
    inputChannels_ = frame->ch_layout.nb_channels;
  }
  const int room = swr_get_out_samples(resampler_, frame->nb_samples);
  if (room < 0) return false;
  pending_.resize(static_cast<size_t>(room) * outputChannels_);
  pendingAt_ = 0;
  auto* to = reinterpret_cast<uint8_t*>(pending_.data());
  const int made = swr_convert(resampler_, &to, room, const_cast<const uint8_t**>(frame->extended_data),
                               frame->nb_samples);
  pending_.resize(static_cast<size_t>(std::max(made, 0)) * outputChannels_);
  return made >= 0;
}

void AudioLoop::keepForReplay(const AVFrame* frame) {
  const size_t bytes = frameBytes(frame);
  AVFrame* copy = cacheBytes_ + bytes <= cacheLimit_ ? av_frame_clone(frame) : nullptr;
  if (!copy) {
    dropCache();
    caching_ = false;
    return;
  }
  cache_.push_back(copy);
  cacheBytes_ += bytes;
}

void AudioLoop::dropCache() {
  for (AVFrame*& frame : cache_) av_frame_free(&frame);
  cache_.clear();
  cacheBytes_ = 0;
}
