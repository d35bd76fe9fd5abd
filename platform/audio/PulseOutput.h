#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/AudioDevice.h"
#include "platform/audio/HeardClock.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

// A sound output straight on the PulseAudio protocol (PulseAudio itself, or PipeWire's
// pipewire-pulse), for music that must be heard at a given moment: the server tells how far it
// has played the stream and when, so each callback knows when its first sample will be heard,
// where a callback's own timing tells it only to within the server's wake-ups. The callback is
// told an infinite wait while that is not known yet (or not again since the server's timeline
// moved), and runs on the output's own thread (or in start(), on the caller's, the output's held).
// Its samples are always at the rate and channels it was opened with.
class PulseOutput final : public AudioDevice {
 public:
  // Opened paused; null when there is no server to talk to (`why` says why).
  static std::unique_ptr<PulseOutput> open(int rate, int channels, int bufferFrames, Fill fill, void* user,
                                           std::string& why);
  ~PulseOutput() override;

  void start() override;
  // The server went away, or dropped the stream.
  bool lost() const override { return lost_.load(std::memory_order_acquire); }

 private:
  PulseOutput(int rate, int channels, int bufferFrames, Fill fill, void* user);
  static void onContextState(pa_context* context, void* self);
  static void onStreamState(pa_stream* stream, void* self);
  static void onWrite(pa_stream* stream, size_t bytes, void* self);
  static void onTiming(pa_stream* stream, int success, void* self);
  void write(size_t bytes);
  double untilHeard() const;

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  std::atomic<bool> lost_{false};
  bool started_ = false;      // the loop's thread's, as the rest below
  uint64_t written_ = 0;      // frames
  HeardClock heard_;  // when the stream's frame 0 was heard, by the server's reports
};
