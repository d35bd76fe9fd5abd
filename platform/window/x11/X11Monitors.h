#pragma once

#include <SDL.h>
#include <X11/Xlib.h>

#include "platform/window/MonitorLayout.h"
#include "platform/window/x11/X11Calls.h"

// The monitors of an X server (Xorg, or XWayland mirroring the compositor's outputs), for the
// two ways of holding the displays on X11.
namespace platform::takeover::x11monitors {

// The monitors from RandR's own list where the server has one; else from SDL's display list.
MonitorLayout currentLayout(Display* display);

// The X event an SDL event carries, once window-system events are on; null for any other.
const XEvent* xEventOf(const SDL_Event& event);

// While one lives, after start(), every change of the monitors (RandR 1.2) reaches SDL's queue
// as a window-system event.
class MonitorsWatch {
 public:
  MonitorsWatch() = default;
  ~MonitorsWatch();
  MonitorsWatch(const MonitorsWatch&) = delete;
  MonitorsWatch& operator=(const MonitorsWatch&) = delete;

  void start(Display* display);
  // Whether `event` tells a change of the monitors.
  bool tells(const XEvent& event) const;

 private:
  int eventBase_ = -1;  // RandR's; -1 where the server cannot tell
  int sysWMEventsBefore_ = SDL_DISABLE;
  bool started_ = false;
};

// The rate of the monitor showing the middle of `window`, from RandR's mode timings (fractions
// and all: 59.94, 74.76); 0 when RandR cannot tell.
double randrRate(SDL_Window* window);

// Asks the window manager (EWMH) for the full-screen window on the monitor showing `area`, else
// on the primary: it places a new full-screen window on a monitor of its choosing (mutter: the
// one with the pointer, whatever the window's position).
void askFullScreenOn(const x11::WindowHandle& x, const ScreenArea* area = nullptr);

}  // namespace platform::takeover::x11monitors
