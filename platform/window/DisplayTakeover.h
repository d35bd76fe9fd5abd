#pragma once

#include <SDL.h>

#include <memory>
#include <vector>

#include "platform/window/MonitorLayout.h"

union _XEvent;
struct _XDisplay;

// Taking every display for the full-screen surface, and keeping them while the demo runs.
//
// On X11 the demo's full-screen windows are override-redirect: the window manager neither
// places, decorates nor focuses them, so the surface lands exactly on the main monitor, the
// black covers exactly on the others, and a click on a cover reaches the demo and nothing else.
// Being outside the window manager's care, they follow the monitors themselves, and put
// themselves back on top when another window comes over them. Elsewhere (Wayland, and X11
// served by XWayland, where the compositor owns the keyboard focus) the compositor's own
// full-screen state is used, and the compositor keeps the surface full screen.
namespace platform::takeover {

// Wraps the creation of a window that will take a display: while one lives, new windows are
// override-redirect where that is how the displays are taken.
class TakeoverWindowScope {
 public:
  TakeoverWindowScope();
  ~TakeoverWindowScope();
  TakeoverWindowScope(const TakeoverWindowScope&) = delete;
  TakeoverWindowScope& operator=(const TakeoverWindowScope&) = delete;
};

// The displays, held for a surface: the surface over the main monitor, a black cover over each
// other one, the keyboard grabbed.
class DisplayHold {
 public:
  // Covers every monitor but the main one, then shows `surface` over the main monitor, raised,
  // with the keyboard focus and grab. Null, with the surface hidden, when the displays cannot
  // be had: full screen refused, or the keyboard held by another client.
  static std::unique_ptr<DisplayHold> take(SDL_Window* surface);
  ~DisplayHold();
  DisplayHold(const DisplayHold&) = delete;
  DisplayHold& operator=(const DisplayHold&) = delete;

  // Called once a frame. Acts on what the events since the last call told: the monitors
  // changed (the windows follow them; on Wayland itself the compositor's own word that another
  // monitor became primary counts too, and SDL's list must show the change first), a window
  // came over the demo's (they are raised again, unless another client holds the keyboard, as a
  // screen locker does), the surface lost the keyboard focus (taken back), a cover needs
  // painting. A frame with none of these makes no request to the window system.
  void keep();
  // Whether keep() has seen the monitors change since the last call (their modes too: the
  // surface may show at another rate).
  bool takeMonitorsChanged();
  // Since when (SDL ticks) a new surface must take the displays again, made where the main
  // monitor is now; 0 while none must. That happens on Wayland itself, where the compositor
  // moves the demo's windows as the monitors change, which may leave the surface on another
  // monitor than the primary or hidden for good (SDL's Wayland driver minimizes a full-screen
  // window when another of the demo's comes onto its monitor, as a cover does when a monitor
  // goes), and SDL can ask for no window's place but by making it.
  Uint64 surfaceToRemakeSince() const;

 private:
  DisplayHold(SDL_Window* surface, bool bypass);
  static int watch(void* hold, SDL_Event* event);
  void notice(const SDL_Event& event);
  void noticeX11(const _XEvent& event);
  bool isOurs(unsigned long xwindow) const;
  void followMonitors(_XDisplay* display);
  void place(const MonitorLayout& layout);
  void follow(const MonitorLayout& layout);
  void addCovers(const MonitorLayout& layout);
  void raiseIfKeyboardOurs();
  bool raiseDue() const;
  bool monitorsDue() const;
  bool listingSettled(const MonitorLayout& layout) const;
  bool placedRight() const;

  SDL_Window* surface_;
  const bool bypass_;  // override-redirect windows, kept by the demo itself
  std::vector<SDL_Window*> covers_;
  std::vector<unsigned long> ourXWindows_;
  MonitorLayout layout_;
  int randrEventBase_ = -1;
  int sysWMEventsBefore_ = SDL_DISABLE;
  Uint64 lastRaise_ = 0;
  bool waylandItself_ = false;
  // Since when a change of the monitors waits for SDL's display list to show it, and when it is
  // looked at again; 0 while none does.
  Uint64 unsettledSince_ = 0;
  Uint64 settleCheckDue_ = 0;
  // What the events since the last keep() asked for.
  bool monitorsChanged_ = false;
  bool restack_ = false;  // raised, and the surface focused
  bool repaintCovers_ = false;
  bool monitorsChangedUntold_ = false;  // since takeMonitorsChanged()
  Uint64 surfaceToRemakeSince_ = 0;
};

}  // namespace platform::takeover
