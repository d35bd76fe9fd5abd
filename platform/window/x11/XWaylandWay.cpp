#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>
#include <utility>

#include "platform/window/x11/X11Covers.h"
#include "platform/window/DisplayReport.h"
#include "platform/window/ListingWait.h"
#include "platform/window/x11/X11Calls.h"
#include "platform/window/x11/X11Monitors.h"
#include "platform/window/x11/X11Way.h"

// X11 served by XWayland: the compositor decides the keyboard focus (an override-redirect window
// and the compositor would hand it back and forth for ever), so its own full screen holds the
// windows, and keeps them full screen wherever it moves them.
namespace platform::takeover {
namespace {

ScreenArea placeOf(SDL_Window* window) {
  ScreenArea area;
  SDL_GetWindowPosition(window, &area.x, &area.y);
  SDL_GetWindowSize(window, &area.width, &area.height);
  return area;
}

// A cover asks the compositor for full screen itself, before it is shown, rather than through
// SDL: SDL minimizes the window it last made full screen on a display when another goes full
// screen there, and its note of where the surface is lags behind the compositor's moving it.
SDL_Window* makeCover(const ScreenArea& area) {
  SDL_Window* cover = SDL_CreateWindow("disco", area.x, area.y, area.width, area.height,
                                       SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_HIDDEN);
  if (!cover) return nullptr;
  const auto x = x11::handleOf(cover);
  if (x) {
    x11::ErrorTrap trap(x->display);
    const Atom fullScreen = XInternAtom(x->display, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(x->display, x->window, XInternAtom(x->display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeAppend, reinterpret_cast<const unsigned char*>(&fullScreen), 1);
  }
  SDL_ShowWindow(cover);
  if (x) x11monitors::askFullScreenOn(*x, &area);
  return cover;
}

class XWaylandHold final : public DisplayHold {
 public:
  XWaylandHold(SDL_Window* surface, x11::WindowHandle x) : DisplayHold(surface), x_(x) {}

  ~XWaylandHold() override { stopWatching(); }

  bool take() {
    const MonitorLayout layout = x11monitors::currentLayout(x_.display);
    covers_.addFor(layout.covered);
    if (!askFullScreen()) return false;
    layout_ = layout;
    SDL_ShowWindow(surface_);
    x11monitors::askFullScreenOn(x_);
    SDL_RaiseWindow(surface_);
    monitors_.start(x_.display);
    SDL_SetWindowKeyboardGrab(surface_, SDL_TRUE);
    startWatching();
    return true;
  }

  void keep() override {
    const Uint64 now = SDL_GetTicks64();
    if (!wait_.due(now) && !repaintCovers_) return;  // most frames: no request at all
    x11::ErrorTrap trap(x_.display);
    if (wait_.due(now)) {
      // RandR may tell of a new monitor before SDL lists it, and SDL makes a window full screen
      // on the display it lists at the window's place.
      const MonitorLayout layout = x11monitors::currentLayout(x_.display);
      const bool listed = SDL_GetNumVideoDisplays() >= 1 + static_cast<int>(layout.covered.size());
      if (wait_.settle(listed, now)) {
        monitorsFollowed_ = true;
        if (layout != layout_ && layout.main.width > 0) follow(layout);
      }
    }
    if (std::exchange(repaintCovers_, false)) covers_.paint();
  }

 private:
  void notice(const SDL_Event& event) override {
    if (const XEvent* x = x11monitors::xEventOf(event)) {
      if (monitors_.tells(*x)) wait_.start(SDL_GetTicks64());
    } else if (event.type == SDL_DISPLAYEVENT) {
      wait_.start(SDL_GetTicks64());
    } else if (event.type == SDL_WINDOWEVENT) {
      repaintCovers_ |=
          event.window.event == SDL_WINDOWEVENT_EXPOSED && event.window.windowID != SDL_GetWindowID(surface_);
    }
  }

  // Covers made afresh for the monitors now; the surface asked onto the main monitor should the
  // compositor have it elsewhere.
  void follow(const MonitorLayout& layout) {
    covers_.trim(0);
    if (placeOf(surface_) != layout.main) {
      SDL_SetWindowFullscreen(surface_, 0);
      SDL_SetWindowPosition(surface_, layout.main.x, layout.main.y);
      SDL_SetWindowSize(surface_, layout.main.width, layout.main.height);
      askFullScreen();
      x11monitors::askFullScreenOn(x_);
    }
    covers_.addFor(layout.covered);
    SDL_RaiseWindow(surface_);
    layout_ = layout;
  }

  const x11::WindowHandle x_;
  Covers covers_{makeCover};
  MonitorLayout layout_;
  ListingWait wait_;
  x11monitors::MonitorsWatch monitors_;
  bool repaintCovers_ = false;
};

class XWaylandWay final : public X11Way {
 public:
  std::unique_ptr<DisplayHold> hold(SDL_Window* surface) override { return holdWith<XWaylandHold>(surface); }
};

}  // namespace

std::unique_ptr<HoldingWay> xwaylandWay() { return std::make_unique<XWaylandWay>(); }

}  // namespace platform::takeover
