#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// When a sound device's callbacks are due, learnt from when they come. A callback comes late
// by a varying amount (the sound server wakes in blocks, the scheduler has its say), never
// early; so against the frames taken so far, the earliest callbacks of late show the device's
// own pace, and a straight line through all of them its drift against our clock.
class DevicePace {
 public:
  explicit DevicePace(int rate) : rate_(rate) {}

  // A callback at `now` (seconds) with `frames` taken before it, in all: when it was due.
  double due(double now, uint64_t frames);
  // The device's clock against ours: +: it runs slow.
  double drift() const { return drift_; }
  // Callbacks seen since the pace was last learnt afresh (a new device, a machine woken).
  size_t seen() const { return count_; }

  // Later than this is not lateness: the device stalled and the server ran dry, so its timeline
  // moved, or it is another device. What was learnt of the pace is dropped; its drift stays.
  static constexpr double kNewPaceSeconds = 0.15;

 private:
  struct Callback {
    double at;
    double pace;  // at minus the frames' own time
  };
  static constexpr size_t kHistory = 1024;  // callbacks: over six minutes of them
  double fitDrift() const;
  const Callback& back(size_t i) const { return history_[(count_ - 1 - i) % kHistory]; }

  int rate_;
  std::array<Callback, kHistory> history_{};
  size_t count_ = 0;
  double drift_ = 0.0;
};
