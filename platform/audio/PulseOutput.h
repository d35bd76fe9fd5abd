#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/HeardClock.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

// A sound output straight on the PulseAudio protocol (PulseAudio itself, or PipeWire's
// pipewire-pulse), for music that must be heard at a given moment: the server tells how far it
// has played the stream and when, so each callback knows when its first sample will be heard,
// where a callback's own timing tells it only to within the server's wake-ups.
class PulseOutput {
 public:
  // Fills `out` with `count` samples, the first of them heard `untilHeard` seconds from now
  // (infinite: not known yet, or not again since the server's timeline moved), on a card that
  // plays `drift` faster than the monotonic clock (NaN: not known yet). Runs on the output's own
  // thread (or in start(), on the caller's, the output's held): must not block.
  using Fill = void (*)(void* user, float* out, size_t count, double untilHeard, double drift);

  // Opened paused; null when there is no server to talk to (`why` says why).
  static std::unique_ptr<PulseOutput> open(int rate, int channels, int bufferFrames, Fill fill, void* user,
                                           std::string& why);
  // Returns once the callback has run for the last time.
  ~PulseOutput();

  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  void start();
  // The server went away, or dropped the stream.
  bool lost() const { return lost_.load(std::memory_order_acquire); }

 private:
  PulseOutput(int rate, int channels, Fill fill, void* user);
  static void onContextState(pa_context* context, void* self);
  static void onStreamState(pa_stream* stream, void* self);
  static void onWrite(pa_stream* stream, size_t bytes, void* self);
  static void onTiming(pa_stream* stream, int success, void* self);
  void write(size_t bytes);
  double untilHeard() const;

  int rate_;
  int channels_;
  Fill fill_;
  void* user_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  std::atomic<bool> lost_{false};
  bool started_ = false;      // the loop's thread's, as the rest below
  uint64_t written_ = 0;      // frames
  HeardClock heard_;  // when the stream's frame 0 was heard, by the server's reports
};
