#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioFile;
struct AVFrame;
struct SwrContext;

// The samples of a sound file played pass after pass, converted to an output's rate and
// channels: interleaved 32-bit floats, channels in the usual order for their count (1 mono,
// 2 stereo, ..., 6 for 5.1, 8 for 7.1).
//
// Every pass starts from a freshly opened decoder, so each one decodes exactly like the first,
// priming and all; a pass whose decoded samples fit in `cacheLimit` bytes is kept and replayed
// instead (tiny files would otherwise be reopened many times a second). One resampler runs
// through every seam, so the last sample of a pass is followed directly by the first of the
// next, with nothing inserted or dropped.
class AudioLoop {
 public:
  static constexpr size_t kDefaultCacheLimit = 256 * 1024;

  // Told the file's own rate and channel count, sets those of the output (a sound device plays
  // what it can, an encoder takes what it can); false gives up.
  using OutputChoice = std::function<bool(int& rate, int& channels)>;

  // The music at `path`, when its packets reach the end of its track and it decodes; null
  // otherwise, or when `chooseOutput` gives up.
  static std::unique_ptr<AudioLoop> open(const std::string& path, const OutputChoice& chooseOutput,
                                         size_t cacheLimit = kDefaultCacheLimit);

  AudioLoop(std::string path, std::unique_ptr<AudioFile> firstPass, int outputRate, int outputChannels,
            size_t cacheLimit = kDefaultCacheLimit);
  ~AudioLoop();

  AudioLoop(const AudioLoop&) = delete;
  AudioLoop& operator=(const AudioLoop&) = delete;

  // Writes up to `frames` frames to `out`; returns how many. Fewer only when the pass has just
  // ended (atPassEnd) or the stream has ended.
  size_t read(float* out, size_t frames);

  bool atPassEnd() const { return state_ == State::PassEnd; }
  // The stream is over: played once and finished, or the file can no longer be decoded.
  bool ended() const { return state_ == State::Ended; }
  // At a pass end: play the file again.
  void nextPass();
  // Opens the file for the next pass ahead of its end, so that nextPass() has no file to open
  // (which can take a while on a busy machine). Does nothing for a pass replayed from memory.
  void prepareNextPass();
  // At a pass end: let the resampler's last samples out, then end.
  void finish();

  // Reads like read(), going round again at every pass end: fewer frames only once the stream
  // has ended (the file can no longer be decoded).
  size_t readLooping(float* out, size_t frames);
  // Passes over `frames` frames of the endless loop, as readLooping() would read them.
  void skipLooping(uint64_t frames);

  int outputRate() const { return outputRate_; }
  // Output frames in one pass; -1 when resampling leaves it inexact.
  int64_t passFrames() const { return passFrames_; }
  int outputChannels() const { return outputChannels_; }

  bool replaysFromMemory() const { return cacheComplete_; }
  // Bytes of decoded and converted audio held right now.
  size_t bytesHeld() const;

 private:
  enum class State { Playing, PassEnd, Finishing, Ended };

  AVFrame* nextFrame();
  bool convert(const AVFrame* frame);
  void keepForReplay(const AVFrame* frame);
  void dropCache();

  std::string path_;
  std::unique_ptr<AudioFile> file_;
  std::unique_ptr<AudioFile> nextFile_;  // the next pass's, opened ahead
  int outputRate_;
  int outputChannels_;
  size_t cacheLimit_;
  int64_t passFrames_ = -1;  // output frames in one pass, when the container says exactly
  State state_ = State::Playing;

  SwrContext* resampler_ = nullptr;
  int inputRate_ = 0, inputFormat_ = -1, inputChannels_ = 0;
  std::vector<float> pending_;  // converted samples not yet read
  size_t pendingAt_ = 0;
  size_t framesThisPass_ = 0;

  std::vector<AVFrame*> cache_;  // the first pass's frames, while they fit
  size_t cacheBytes_ = 0;
  bool caching_ = true;
  bool cacheComplete_ = false;
  size_t replayAt_ = 0;
};
