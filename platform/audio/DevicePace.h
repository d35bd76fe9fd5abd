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
  // Callbacks the pace is learnt from: since the first, or since it was last learnt afresh.
  size_t seen() const { return held_; }

  // Later than this is not lateness: another device, or the machine woke from sleep. What was
  // learnt of the pace is dropped; its drift stays.
  static constexpr double kNewPaceSeconds = 1.0;
  // Later than this, the device may have stalled and its server run dry, moving its timeline
  // on. If the next kRecent callbacks all come this much later than the earliest before, it
  // did, and the pace is learnt from them on; else it was only a late callback.
  static constexpr double kStallSeconds = 0.25;
  static constexpr double kMovedSeconds = 0.025;
  static constexpr size_t kRecent = 12;

 private:
  struct Callback {
    double at;
    double pace;  // at minus the frames' own time
  };
  static constexpr size_t kHistory = 1024;  // callbacks: over six minutes of them
  double fitDrift() const;
  // The earliest pace of callbacks `from` to `to` back (0: the latest), carried to `now`.
  double earliest(double now, size_t from, size_t to) const;
  const Callback& back(size_t i) const { return history_[(next_ - 1 - i) % kHistory]; }

  int rate_;
  std::array<Callback, kHistory> history_{};
  size_t next_ = 0;  // where the next callback goes
  size_t held_ = 0;  // callbacks that count
  size_t stalledAt_ = 0;  // held_ just after a stall to look into; 0: none
  double drift_ = 0.0;
};
