#pragma once

#include <optional>

// Which monitor a Wayland compositor makes primary. The core protocol has no such notion: only
// the compositors that say it some way of their own can tell, GNOME over its display
// configuration on the session bus, KDE by its output order. A watch is told of each change and
// keeps the answer, so that reading it never waits on the compositor.
namespace platform {

// The primary's top-left corner on the desktop, in the same logical coordinates as the outputs'
// own positions.
struct OutputOrigin {
  int x = 0;
  int y = 0;
  bool operator==(const OutputOrigin&) const = default;
};

class PrimaryWatch {
 public:
  virtual ~PrimaryWatch() = default;
  // The primary as last told; nothing when the compositor named none.
  virtual std::optional<OutputOrigin> primary() const = 0;
  // Whether a change the compositor told of may leave primary() behind it for a moment (the
  // new answer is being read).
  virtual bool reading() const = 0;
  // Whether a new answer came since the last call. Reads what the compositor sent; never waits.
  virtual bool takeNews() = 0;
};

}  // namespace platform
