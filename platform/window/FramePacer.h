#pragma once

// Decides when a frame loop starts its next frame, from what its buffer swaps do.
//
// Where swaps wait for the vertical retrace they pace the loop themselves: the next frame starts
// the moment a swap returns, and the loop never sleeps past a retrace. Where they return at once
// (virtual X servers, software drivers) a loop would spin as fast as it can draw and burn a core
// on frames nobody sees: there frames are held to the display's true rate, on a grid that does
// not drift.
//
// Which of the two it is shows in frames that start the moment the swap before them returns: a
// swap that waits cannot return much sooner than a period after the one before it. A few such
// early swaps in a row mean the swaps do not wait; while frames are held, one frame a second
// starts at once to see whether that has changed.
class FramePacer {
 public:
  // The display's true refresh rate in frames a second, fractions and all (59.94, 74.76);
  // 0 or less when unknown: 60.
  explicit FramePacer(double refreshRate);

  // Told when a frame's swap returned (seconds, on a clock that never steps back); returns when
  // the next frame may start: that same time, or later when frames are held.
  double frameDone(double swapEnd);

  // Whether frames are being held, i.e. swaps were seen to return without waiting.
  bool holding() const { return holding_; }

 private:
  double period_;
  bool started_ = false;
  bool holding_ = false;
  bool lastFrameWasHeld_ = false;  // the frame just swapped started after a hold
  int earlyInARow_ = 0;
  int framesSinceProbe_ = 0;
  double lastSwapEnd_ = 0.0;
  double nextDue_ = 0.0;  // when the next frame is due on the held grid
};
