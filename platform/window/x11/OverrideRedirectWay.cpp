#include <X11/Xlib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/window/x11/X11Covers.h"
#include "platform/window/DisplayReport.h"
#include "platform/window/x11/X11Calls.h"
#include "platform/window/x11/X11Monitors.h"
#include "platform/window/x11/X11Way.h"

// Xorg: the demo's windows are override-redirect, so the window manager neither places,
// decorates nor focuses them: the surface lands exactly on the main monitor, the covers exactly
// on the others, and a click on a cover reaches the demo and nothing else. Being outside the
// window manager's care, they follow the monitors themselves and put themselves back on top
// when another window comes over them.
namespace platform::takeover {
namespace {

// A few raises come at once (popups mapped together each call for one); more are spaced this
// far apart, so that a client that also keeps itself on top and the demo do not flood the
// server taking turns.
constexpr Uint64 kRaiseIntervalMs = 100;
constexpr int kRaisesAtOnce = 3;

void moveTo(SDL_Window* window, const ScreenArea& area) {
  SDL_SetWindowPosition(window, area.x, area.y);
  SDL_SetWindowSize(window, area.width, area.height);
}

// Made override-redirect: SDL reads its hint as it makes the window.
SDL_Window* overrideRedirectWindow(const char* title, const ScreenArea& area, Uint32 flags) {
  std::optional<std::string> found;
  if (const char* hint = SDL_GetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT)) found = hint;
  SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1");
  SDL_Window* window = SDL_CreateWindow(title, area.x, area.y, area.width, area.height, flags);
  if (found) {
    SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, found->c_str());
  } else {
    SDL_ResetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT);
  }
  return window;
}

SDL_Window* makeCover(const ScreenArea& area) {
  return overrideRedirectWindow("disco", area, SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR);
}

// With no window manager between it and the server, a window must install its own colour map:
// on a DirectColor visual (which GLX often picks) every pixel shows black until it does.
void installColormap(const x11::WindowHandle& x) {
  x11::ErrorTrap trap(x.display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(x.display, x.window, &attributes) && attributes.colormap != None)
    XInstallColormap(x.display, attributes.colormap);
}

bool grabKeyboardOnce(const x11::WindowHandle& x) {
  return XGrabKeyboard(x.display, x.window, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
}

// Another client may hold the keyboard for a moment (a menu being closed, a key held down); one
// that keeps it (a screen locker) means the displays are not ours.
bool grabKeyboard(const x11::WindowHandle& x) {
  for (int attempt = 0; attempt < 25; ++attempt) {
    if (grabKeyboardOnce(x)) return true;
    SDL_Delay(20);
  }
  return false;
}

// Tells the connection of windows mapped, moved or restacked anywhere on the screen. SDL sets
// the root's events of its connection afresh whenever it makes a window, so this is asked again
// after every window the demo makes.
void watchWindows(Display* display) {
  x11::ErrorTrap trap(display);
  const Window root = DefaultRootWindow(display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, root, &attributes))
    XSelectInput(display, root, attributes.your_event_mask | SubstructureNotifyMask);
}

class OverrideRedirectHold final : public DisplayHold {
 public:
  OverrideRedirectHold(SDL_Window* surface, x11::WindowHandle x) : DisplayHold(surface), x_(x) {}

  ~OverrideRedirectHold() override { stopWatching(); }

  bool take() {
    const MonitorLayout layout = x11monitors::currentLayout(x_.display);
    // Covers first: without a window manager SDL focuses every window it shows, and the
    // surface shown last keeps the focus.
    covers_.addFor(layout.covered);
    if (layout.main.width > 0) moveTo(surface_, layout.main);
    SDL_ShowWindow(surface_);
    SDL_RaiseWindow(surface_);
    if (!grabKeyboard(x_)) {
      reportOnce("keyboard", "the keyboard is held by another client: the displays are not taken");
      SDL_HideWindow(surface_);
      return false;
    }
    installColormap(x_);
    SDL_SetWindowInputFocus(surface_);
    place(layout);
    monitors_.start(x_.display);
    // SDL keeps the grab from here on, taking it again whenever the surface regains the focus.
    SDL_SetWindowKeyboardGrab(surface_, SDL_TRUE);
    startWatching();
    return true;
  }

  void keep() override {
    if (!monitorsChanged_ && !raiseDue()) return;  // most frames: no request at all
    x11::ErrorTrap trap(x_.display);
    if (std::exchange(monitorsChanged_, false)) {
      monitorsFollowed_ = true;
      const MonitorLayout now = x11monitors::currentLayout(x_.display);
      if (now != layout_ && now.main.width > 0) {
        place(now);
        restack_ = true;
      }
    }
    if (raiseDue()) raiseIfKeyboardOurs();
  }

 private:
  void notice(const SDL_Event& event) override {
    if (const XEvent* x = x11monitors::xEventOf(event)) {
      noticeX11(*x);
    } else if (event.type == SDL_DISPLAYEVENT) {
      monitorsChanged_ = true;
    } else if (event.type == SDL_WINDOWEVENT) {
      // Should anything take the keyboard focus from the surface, it is taken back (and with it
      // the grab, which SDL drops on focus changes).
      const Uint32 surfaceID = SDL_GetWindowID(surface_);
      const Uint8 what = event.window.event;
      restack_ |= (what == SDL_WINDOWEVENT_FOCUS_LOST && event.window.windowID == surfaceID) ||
                  (what == SDL_WINDOWEVENT_FOCUS_GAINED && event.window.windowID != surfaceID);
    }
  }

  void noticeX11(const XEvent& event) {
    if (monitors_.tells(event)) {
      monitorsChanged_ = true;
      return;
    }
    switch (event.type) {
      case MapNotify:
        restack_ |= !isOurs(event.xmap.window);
        return;
      case ConfigureNotify:  // moved, resized or restacked
        restack_ |= event.xconfigure.event != event.xconfigure.window && !isOurs(event.xconfigure.window);
        return;
      case CirculateNotify:  // raised or lowered by XCirculateSubwindows
        restack_ |= event.xcirculate.event != event.xcirculate.window && !isOurs(event.xcirculate.window);
        return;
      case FocusOut:  // another client took the keyboard
        restack_ |= event.xfocus.mode == NotifyGrab && isOurs(event.xfocus.window);
        return;
      case FocusIn:  // ... and gave it back
        restack_ |= event.xfocus.mode == NotifyUngrab && isOurs(event.xfocus.window);
        return;
      default:
        return;
    }
  }

  bool raiseDue() const {
    return restack_ && (raisesAtOnce_ < kRaisesAtOnce || SDL_GetTicks64() - lastRaise_ >= kRaiseIntervalMs);
  }

  bool isOurs(unsigned long xwindow) const {
    return std::find(ourXWindows_.begin(), ourXWindows_.end(), xwindow) != ourXWindows_.end();
  }

  // The surface over the main monitor, and exactly one cover over each other monitor.
  void place(const MonitorLayout& layout) {
    moveTo(surface_, layout.main);
    covers_.trim(layout.covered.size());
    for (size_t i = 0; i < covers_.windows().size(); ++i) moveTo(covers_.windows()[i], layout.covered[i]);
    covers_.addFor(layout.covered);
    watchWindows(x_.display);
    ourXWindows_.clear();
    for (SDL_Window* window : covers_.windows())
      if (const auto cover = x11::handleOf(window)) ourXWindows_.push_back(cover->window);
    ourXWindows_.push_back(x_.window);
    layout_ = layout;
  }

  // Back on top, covers first and the surface last, with the keyboard focus; but never over a
  // client that holds the keyboard, as a screen locker does (nor taking the focus from it, which
  // raises the surface too). Keeps trying to have the keyboard while it is not ours.
  void raiseIfKeyboardOurs() {
    const Uint64 now = SDL_GetTicks64();
    raisesAtOnce_ = now - lastRaise_ >= kRaiseIntervalMs ? 1 : raisesAtOnce_ + 1;
    lastRaise_ = now;
    restack_ = false;
    if (!grabKeyboardOnce(x_)) {
      restack_ = true;
      return;
    }
    for (SDL_Window* cover : covers_.windows())
      if (const auto coverX = x11::handleOf(cover)) XRaiseWindow(coverX->display, coverX->window);
    XRaiseWindow(x_.display, x_.window);
    SDL_SetWindowInputFocus(surface_);
  }

  const x11::WindowHandle x_;
  Covers covers_{makeCover};
  std::vector<unsigned long> ourXWindows_;
  MonitorLayout layout_;
  x11monitors::MonitorsWatch monitors_;
  Uint64 lastRaise_ = 0;
  int raisesAtOnce_ = 0;  // raised less than the interval apart, in a row
  bool monitorsChanged_ = false;
  bool restack_ = false;  // raised, and the surface focused
};

class OverrideRedirectWay final : public X11Way {
 public:
  SDL_Window* makeWindow(const char* title, const ScreenArea& area, Uint32 flags) override {
    return overrideRedirectWindow(title, area, flags);
  }

  std::unique_ptr<DisplayHold> hold(SDL_Window* surface) override { return holdWith<OverrideRedirectHold>(surface); }
};

}  // namespace

std::unique_ptr<HoldingWay> overrideRedirectWay() { return std::make_unique<OverrideRedirectWay>(); }

}  // namespace platform::takeover
