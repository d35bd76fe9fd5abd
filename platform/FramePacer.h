#pragma once

// Holds a frame loop to the display's refresh rate. Where buffer swaps wait for the vertical
// retrace this costs nothing: frames already start a period apart. Where they do not (virtual
// X servers, some software drivers), a loop would otherwise spin as fast as it can draw and
// burn a core on frames nobody sees.
class FramePacer {
 public:
  explicit FramePacer(double refreshRate);  // frames a second; 0 or less when unknown: 60

  // When the next frame may start, given when this one started and when its swap returned
  // (all on one clock, in seconds): a period after this one's start, or at once if it took
  // longer than that.
  double frameDone(double frameStart, double swapEnd) const;

  double period() const { return period_; }

 private:
  double period_;
};
