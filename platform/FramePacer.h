#pragma once

// Keeps a swap-paced frame loop at the display's refresh rate where the driver does not wait
// for the vertical retrace (virtual X servers, some software drivers): without it such a loop
// spins at hundreds of frames a second and burns a core for nothing.
//
// Feed it the time each frame started and the time its buffer swap returned. While swaps come
// back at least half a period after the frame started, the driver is pacing and nothing is
// added. After a few frames that finish much faster, it answers a time to sleep until, so frames
// start one period apart; a frame that again takes most of a period hands pacing back.
class FramePacer {
 public:
  explicit FramePacer(double refreshRate);

  // Returns the time (same clock as the arguments) the next frame should start at; a time at or
  // before swapEnd means "start at once".
  double frameDone(double frameStart, double swapEnd);

  bool pacing() const { return pacing_; }
  double period() const { return period_; }

 private:
  static constexpr int kFastFramesBeforePacing = 3;
  double period_;
  bool pacing_ = false;
  int fastFrames_ = 0;
  double nextStart_ = 0.0;
};
