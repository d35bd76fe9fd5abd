#pragma once

#include <array>
#include <cmath>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/audio/DevicePace.h"

// Keeps a looping track where a shared clock says it should be, between the decoding thread
// (which writes the ring) and the sound device's callback (which reads it); neither waits.
//
// The decoder marks where in the track the samples it writes are (a track position per ring
// position). At each callback the sample about to be taken is compared with the track position
// due when it will be heard (as the sound server tells, where the device asks it; else as learnt
// from when the callbacks come, DevicePace): far off (a start, sound back after a loss, a
// machine woken from sleep), the callback plays silence or drops samples to land on it, and asks
// the decoder to jump when it is further off than the ring holds; close, the error goes to the
// decoder, which stretches or squeezes the sound a little (never a jump) to follow the sound
// card's clock. Where the device tells how fast its card plays, the stretch starts from that and
// the errors correct what is left; else the errors alone learn it, over half a minute.
class MusicSync {
 public:
  static constexpr double kCloseSeconds = 0.02;   // followed by stretching; further: landed on
  static constexpr double kMostStretch = 0.002;   // 0.2 %: 3.5 cents, unheard
  static constexpr double kLeadSeconds = 3.0;     // a jump lands this far ahead of the party
  static constexpr double kSlackSeconds = 2.0;    // waited for or caught up beyond that; more: a jump
  static constexpr size_t kWarmCallbacks = 12;    // silent at first, until the device's pace is known
  static constexpr size_t kSettleCallbacks = 7;   // played on as they are after the pace is lost

  MusicSync(int rate, int64_t loopFrames);

  // Decoding thread.
  // Whether the callback asked for a jump: then skip to trackPosition(kLeadSeconds ahead) and
  // call jumped() before writing more.
  bool jumpWanted() const { return wanted_.load(std::memory_order_acquire) != generation_; }
  void jumped() { generation_ = wanted_.load(std::memory_order_acquire); }
  // The samples written from ring frame `ringFrame` on are at track frame `trackFrame`.
  void mark(uint64_t ringFrame, double trackFrame);
  // The stretch to apply now (+: longer, slower), from the errors the callback saw.
  double stretch(double seconds);
  // How far the sound is ahead of the party (+, seconds), smoothed over the last callbacks;
  // nothing while it has not landed on the party's place (or lands again). Any thread.
  std::optional<double> partyError() const;
  // Once after the sound had to be put back on the party's place (not the first landing):
  // how far off it was, in seconds.
  bool putBack(double& off);

  // Device callback, at party time `now` (seconds), after the device has taken `deviceFrames`
  // in all: `ringFrame` is the next frame the ring gives, `available` frames wait there. The
  // callback's first sample is heard `untilHeard` seconds from now when the device tells (else
  // NaN; infinite while it tells but does not know), or else `latency` seconds after the
  // callback was due, by when callbacks have come. The card plays `drift` faster than the
  // monotonic clock, when the device tells (else NaN).
  struct Fix {
    size_t silence = 0;  // frames of silence first
    size_t drop = 0;     // frames taken from the ring and not played
  };
  Fix onCallback(double now, uint64_t deviceFrames, double latency, double untilHeard, uint64_t ringFrame,
                 size_t available, size_t frames, double drift = NAN);

  // The shortest way from `due` to `at` round the loop, in frames.
  double loopError(double at, double due) const;
  int64_t loopFrames() const { return loopFrames_; }
  // Track frame of the loop at party time `seconds`.
  double trackFrame(double seconds) const;

 private:
  struct Mark {
    uint64_t ringFrame = 0;
    double trackFrame = 0;
    uint32_t generation = 0;
  };
  static constexpr size_t kMarks = 1024;  // a mark per chunk: far more than the ring holds

  int rate_;
  int64_t loopFrames_;
  // Marks: written by the decoder, read by the callback.
  std::array<Mark, kMarks> marks_{};
  std::atomic<uint64_t> marksWritten_{0};
  uint64_t marksRead_ = 0;  // callback's
  Mark current_{};          // callback's: the last mark passed
  bool haveCurrent_ = false;
  DevicePace pace_;
  bool landed_ = false;                 // once, to the frame
  bool away_ = false;                   // since being put back, not yet close again
  std::atomic<bool> settled_{false};    // landed and not away: for partyError()
  // Jumps.
  uint32_t generation_ = 0;  // decoder's
  std::atomic<uint32_t> wanted_{1};  // the first samples are placed by a jump too
  // The callback's latest error, in seconds, for the decoder.
  std::atomic<double> error_{0.0};
  std::atomic<bool> errorFresh_{false};
  std::atomic<double> putBackOff_{0.0};
  std::atomic<uint32_t> putBacks_{0};
  uint32_t putBacksTold_ = 0;  // decoder's
  // Decoder's controller.
  double smoothed_ = 0.0;
  std::atomic<double> smoothedOut_{0.0};  // for partyError()
  double integral_ = 0.0;
  std::atomic<double> drift_{0.0};  // the card's, as the device last told (0: not told)
};
