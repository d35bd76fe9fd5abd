#pragma once

#include <cstddef>
#include <memory>
#include <vector>

struct SwrContext;

// Resamples interleaved float samples to the same rate, a little longer or shorter on request:
// sound kept in step with a clock that is not the sound card's.
class Stretcher {
 public:
  // Null when FFmpeg cannot make the resampler.
  static std::unique_ptr<Stretcher> make(int rate, int channels);
  ~Stretcher();
  Stretcher(const Stretcher&) = delete;
  Stretcher& operator=(const Stretcher&) = delete;

  // From the next samples on: +0.001 makes them 0.1 % longer (slower), -0.001 shorter.
  void setStretch(double stretch);
  // Converts `frames` frames into `out` (replacing what it held); returns the frames made.
  size_t process(const float* in, size_t frames, std::vector<float>& out);
  // Input frames taken but not yet given out.
  double heldFrames() const;

 private:
  Stretcher(SwrContext* swr, int rate, int channels) : swr_(swr), rate_(rate), channels_(channels) {}
  SwrContext* swr_;
  int rate_;
  int channels_;
};
