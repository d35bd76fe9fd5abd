#pragma once

#include <SDL.h>
#include <X11/Xlib.h>

#include <optional>

// What the demo's own Xlib calls need: the X window behind an SDL window, a guard that passes
// over the X errors they cause, and the RandR version they may rely on.
namespace platform::x11 {

struct WindowHandle {
  Display* display = nullptr;
  Window window = 0;
};

// The X connection and window of `window`; nothing when it is not an X11 window.
std::optional<WindowHandle> handleOf(SDL_Window* window);

// While one lives, an X error caused by a request of this connection is counted, not the end of
// the process (Xlib's default handler exits). Requests made before it still reach the handler
// they were made under; every request made under it has been answered when it goes.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Whether any request made so far under this trap failed.
  bool failed();

 private:
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*);
  unsigned long errorsBefore_;
};

// Whether the server's RandR is at least `major`.`minor`.
bool hasRandr(Display* display, int major, int minor);

}  // namespace platform::x11
