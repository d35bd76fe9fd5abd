#include "platform/window/DisplayTakeover.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/window/DisplayServer.h"
#include "platform/window/MainDisplay.h"
#include "platform/window/RandrMonitors.h"
#include "platform/window/X11Calls.h"

namespace platform::takeover {
namespace {

// Raised again at most this often, so that a client that also keeps itself on top and the demo
// do not flood the server taking turns.
constexpr Uint64 kRaiseIntervalMs = 100;

// A change of the monitors reaches SDL's display list, and RandR (XWayland) or the compositor's
// answer on its primary (Wayland itself), at different moments: the windows follow it once they
// agree, looked at this often, and as they are after this long anyway.
constexpr Uint64 kSettleCheckIntervalMs = 50;
constexpr Uint64 kSettlePatienceMs = 2000;

// Whether windows made to take over the displays are kept away from the window manager.
bool bypassesWindowManager() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return false;
  // Under XWayland the compositor decides the keyboard focus: an override-redirect window and
  // the compositor would hand it back and forth for ever, and keys go astray. Its own
  // full-screen state serves there (XWayland names its outputs XWAYLAND0, 1, ...).
  const char* name = SDL_GetDisplayName(0);
  return !(name && std::strncmp(name, "XWAYLAND", 8) == 0);
}

// Paints a cover black. On X11 the server does it, on every exposure, from the window's
// background; elsewhere the cover's own pixels are filled, leaving the GL context as it was
// (SDL may draw a window's pixels through a GL context of its own).
void paintBlack(SDL_Window* cover) {
  if (const auto x = x11::handleOf(cover)) {
    x11::ErrorTrap trap(x->display);
    XSetWindowBackground(x->display, x->window, BlackPixel(x->display, DefaultScreen(x->display)));
    XClearWindow(x->display, x->window);
    return;
  }
  SDL_Window* currentWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext currentContext = SDL_GL_GetCurrentContext();
  if (SDL_Surface* pixels = SDL_GetWindowSurface(cover)) {
    SDL_FillRect(pixels, nullptr, SDL_MapRGB(pixels->format, 0, 0, 0));
    SDL_UpdateWindowSurface(cover);
  }
  if (currentContext) SDL_GL_MakeCurrent(currentWindow, currentContext);
}

ScreenArea placeOf(SDL_Window* window) {
  ScreenArea area;
  SDL_GetWindowPosition(window, &area.x, &area.y);
  SDL_GetWindowSize(window, &area.width, &area.height);
  return area;
}

void moveTo(SDL_Window* window, const ScreenArea& area) {
  SDL_SetWindowPosition(window, area.x, area.y);
  SDL_SetWindowSize(window, area.width, area.height);
}

// The monitors from RandR's own list where the server has one; else from SDL's display list.
MonitorLayout currentLayout(Display* display) {
  if (display)
    if (auto monitors = randrMonitors(display)) return layoutFor(*monitors);
  std::vector<Monitor> monitors;
  const int main = mainDisplayIndex();
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0)
      monitors.push_back({{bounds.x, bounds.y, bounds.w, bounds.h}, index == main});
  }
  return layoutFor(monitors);
}

// With no window manager between it and the server, a window must install its own colour map:
// on a DirectColor visual (which GLX often picks) every pixel shows black until it does.
void installColormap(const x11::WindowHandle& x) {
  x11::ErrorTrap trap(x.display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(x.display, x.window, &attributes) && attributes.colormap != None)
    XInstallColormap(x.display, attributes.colormap);
}

// A window manager places a new full-screen window on a monitor of its choosing (mutter: the
// one with the pointer, whatever the window's position); EWMH lets the client name it: the one
// showing `area`, else the primary. The monitors are Xinerama's, which the server lists in
// RandR's monitor order.
void askFullScreenOn(const x11::WindowHandle& x, const ScreenArea* area = nullptr) {
  const auto monitors = randrMonitors(x.display);
  if (!monitors) return;
  auto chosen = area ? std::find_if(monitors->begin(), monitors->end(), [&](const Monitor& m) { return m.area == *area; })
                     : monitors->end();
  if (chosen == monitors->end())
    chosen = std::find_if(monitors->begin(), monitors->end(), [](const Monitor& m) { return m.primary; });
  const long index = chosen == monitors->end() ? 0 : chosen - monitors->begin();
  x11::ErrorTrap trap(x.display);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = x.window;
  event.xclient.message_type = XInternAtom(x.display, "_NET_WM_FULLSCREEN_MONITORS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = event.xclient.data.l[1] = event.xclient.data.l[2] = event.xclient.data.l[3] = index;
  event.xclient.data.l[4] = 1;  // a normal application
  XSendEvent(x.display, DefaultRootWindow(x.display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Under XWayland a cover asks the compositor for full screen itself, before it is shown, rather
// than through SDL: SDL minimizes the window it last made full screen on a display when another
// goes full screen there, and its note of where the surface is lags behind the compositor's
// moving it (mutter moves it along with a new primary), so an SDL full-screen cover could
// minimize the scene.
SDL_Window* selfFullScreenCover(const ScreenArea& area, Uint32 flags) {
  SDL_Window* cover = SDL_CreateWindow("disco", area.x, area.y, area.width, area.height, flags | SDL_WINDOW_HIDDEN);
  if (!cover) return nullptr;
  const auto x = x11::handleOf(cover);
  if (x) {
    x11::ErrorTrap trap(x->display);
    const Atom fullScreen = XInternAtom(x->display, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(x->display, x->window, XInternAtom(x->display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeAppend, reinterpret_cast<const unsigned char*>(&fullScreen), 1);
  }
  SDL_ShowWindow(cover);
  if (x) askFullScreenOn(*x, &area);
  return cover;
}

bool grabKeyboardOnce(const x11::WindowHandle& x) {
  return XGrabKeyboard(x.display, x.window, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
}

// The keyboard, for the surface alone. Another client may hold it for a moment (a menu being
// closed, a key held down); one that keeps it (a screen locker) means the displays are not ours.
bool grabKeyboard(const x11::WindowHandle& x) {
  for (int attempt = 0; attempt < 25; ++attempt) {
    if (grabKeyboardOnce(x)) return true;
    SDL_Delay(20);
  }
  return false;
}

// Tells the demo's connection of windows mapped, moved or restacked anywhere on the screen. SDL
// sets the root's events of its connection afresh whenever it makes a window, so this is asked
// again after every window the demo makes.
void watchWindows(Display* display) {
  x11::ErrorTrap trap(display);
  const Window root = DefaultRootWindow(display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, root, &attributes))
    XSelectInput(display, root, attributes.your_event_mask | SubstructureNotifyMask);
}

// Tells the demo's connection of every change of the monitors (RandR 1.2), as window-system
// events through SDL; -1 where the server cannot.
int watchMonitors(Display* display) {
  x11::ErrorTrap trap(display);
  int eventBase = -1, errorBase = 0;
  if (!x11::hasRandr(display, 1, 2) || !XRRQueryExtension(display, &eventBase, &errorBase)) return -1;
  XRRSelectInput(display, DefaultRootWindow(display),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  return eventBase;
}

}  // namespace

TakeoverWindowScope::TakeoverWindowScope() {
  if (bypassesWindowManager()) SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1");
}

TakeoverWindowScope::~TakeoverWindowScope() { SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "0"); }

DisplayHold::DisplayHold(SDL_Window* surface, bool bypass) : surface_(surface), bypass_(bypass) {}

std::unique_ptr<DisplayHold> DisplayHold::take(SDL_Window* surface) {
  const bool bypass = bypassesWindowManager();
  std::unique_ptr<DisplayHold> hold(new DisplayHold(surface, bypass));
  hold->waylandItself_ = onWaylandItself();
  const auto x = x11::handleOf(surface);
  if (bypass && !x) return nullptr;
  const MonitorLayout layout = currentLayout(bypass ? x->display : nullptr);
  // Covers first: without a window manager SDL focuses every window it shows, and the surface
  // shown last keeps the focus.
  hold->addCovers(layout);
  // Where the window manager is bypassed the surface goes exactly over the main monitor; asking
  // SDL for full screen there would only wait for a manager's answer.
  if (bypass) {
    if (layout.main.width > 0) moveTo(surface, layout.main);
  } else if (SDL_SetWindowFullscreen(surface, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
    return nullptr;
  }
  hold->layout_ = layout;
  SDL_ShowWindow(surface);
  if (!bypass && x) askFullScreenOn(*x);
  SDL_RaiseWindow(surface);
  if (bypass) {
    if (!grabKeyboard(*x)) {
      SDL_HideWindow(surface);
      return nullptr;
    }
    installColormap(*x);
    SDL_SetWindowInputFocus(surface);
    hold->place(layout);  // notes the windows' ids, and watches for windows coming over them
  }
  // The monitors are followed through RandR on any X server (XWayland's mirrors the
  // compositor's outputs), and through SDL's display events elsewhere.
  if (x) {
    hold->randrEventBase_ = watchMonitors(x->display);
    hold->sysWMEventsBefore_ = SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  }
  // SDL keeps the grab from here on, taking it again whenever the surface regains the focus. On
  // Wayland itself a grab is a request to inhibit the compositor's shortcuts, which GNOME answers
  // with a dialog over the scene that takes the first key; a focused full-screen surface has
  // every key the demo needs without it.
  if (x) SDL_SetWindowKeyboardGrab(surface, SDL_TRUE);
  SDL_AddEventWatch(&DisplayHold::watch, hold.get());
  return hold;
}

DisplayHold::~DisplayHold() {
  SDL_DelEventWatch(&DisplayHold::watch, this);
  if (randrEventBase_ >= 0) SDL_EventState(SDL_SYSWMEVENT, sysWMEventsBefore_);
  for (SDL_Window* cover : covers_) SDL_DestroyWindow(cover);
}

// Called by SDL as each event is queued, whoever reads the queue; it only takes notes, since SDL
// is in the middle of reading the window system here.
int DisplayHold::watch(void* hold, SDL_Event* event) {
  static_cast<DisplayHold*>(hold)->notice(*event);
  return 0;
}

void DisplayHold::notice(const SDL_Event& event) {
  if (event.type == SDL_SYSWMEVENT && event.syswm.msg && event.syswm.msg->subsystem == SDL_SYSWM_X11) {
    noticeX11(event.syswm.msg->msg.x11.event);
    return;
  }
  if (event.type == SDL_DISPLAYEVENT) {
    monitorsChanged_ = true;
    settleCheckDue_ = 0;
    // SDL's Wayland driver minimizes a full-screen window when another of the demo's comes onto
    // its monitor, as a cover does when the compositor moves it off a monitor that went, and
    // nothing brings a minimized window back there.
    if (event.display.event == SDL_DISPLAYEVENT_DISCONNECTED && waylandItself_ && surfaceToRemakeSince_ == 0)
      surfaceToRemakeSince_ = SDL_GetTicks64();
    return;
  }
  if (event.type != SDL_WINDOWEVENT) return;
  const Uint32 surfaceID = SDL_GetWindowID(surface_);
  // On Wayland itself the compositor moves the demo's windows from one monitor to another as the
  // monitors change, and SDL tells it only thus (minimizing a full-screen window that another of
  // the demo's came over): where they are is looked at again.
  if (waylandItself_ && event.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED) {
    monitorsChanged_ = true;
    settleCheckDue_ = 0;
  }
  const Uint8 what = event.window.event;
  if (!bypass_) {
    repaintCovers_ |= what == SDL_WINDOWEVENT_EXPOSED && event.window.windowID != surfaceID;
    return;
  }
  // Should anything take the keyboard focus from the surface, it is taken back (and with it the
  // grab, which SDL drops on focus changes).
  restack_ |= (what == SDL_WINDOWEVENT_FOCUS_LOST && event.window.windowID == surfaceID) ||
              (what == SDL_WINDOWEVENT_FOCUS_GAINED && event.window.windowID != surfaceID);
}

void DisplayHold::noticeX11(const XEvent& event) {
  if (randrEventBase_ >= 0 &&
      (event.type == randrEventBase_ + RRScreenChangeNotify || event.type == randrEventBase_ + RRNotify)) {
    monitorsChanged_ = true;
    return;
  }
  if (!bypass_) return;  // a window manager keeps the stacking
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

bool DisplayHold::isOurs(unsigned long xwindow) const {
  return std::find(ourXWindows_.begin(), ourXWindows_.end(), xwindow) != ourXWindows_.end();
}

void DisplayHold::keep() {
  // A new primary alone, with no output added or removed, is no display event of SDL's.
  if (waylandItself_ && primaryMayHaveChanged()) {
    monitorsChanged_ = true;
    settleCheckDue_ = 0;
  }
  if (!(monitorsDue() || raiseDue() || repaintCovers_)) return;  // most frames: no request at all
  const auto x = x11::handleOf(surface_);
  std::optional<x11::ErrorTrap> trap;
  if (x) trap.emplace(x->display);
  if (monitorsDue()) followMonitors(x ? x->display : nullptr);
  if (repaintCovers_) {
    repaintCovers_ = false;
    for (SDL_Window* cover : covers_) paintBlack(cover);
  }
  if (raiseDue()) {  // placing the windows above may have asked for it
    restack_ = false;
    raiseIfKeyboardOurs();
  }
}

// The windows after the monitors as they are now. Where the compositor keeps them full screen,
// once SDL's list agrees (or has had a while to): SDL makes a window full screen on the display
// it lists at the window's place. On Wayland itself, where the compositor moves the demo's
// windows as the monitors change (gnome-shell moves the scene along with a new primary, onto
// its cover's monitor) and SDL can ask for no window's place but by making it, a new surface
// takes the displays again should SDL not have the surface on the main monitor.
void DisplayHold::followMonitors(Display* display) {
  const Uint64 ticks = SDL_GetTicks64();
  if (unsettledSince_ == 0) unsettledSince_ = ticks;
  const MonitorLayout now = currentLayout(display);
  if (!bypass_ && ticks - unsettledSince_ < kSettlePatienceMs && !listingSettled(now)) {
    settleCheckDue_ = ticks + kSettleCheckIntervalMs;
    return;
  }
  monitorsChanged_ = false;
  unsettledSince_ = settleCheckDue_ = 0;
  monitorsChangedUntold_ = true;
  if (waylandItself_ && !placedRight()) {
    if (surfaceToRemakeSince_ == 0) surfaceToRemakeSince_ = ticks;
  } else if (now != layout_ && now.main.width > 0) {
    if (bypass_) {
      place(now);
      restack_ = true;
    } else {
      follow(now);
    }
  }
}

bool DisplayHold::takeMonitorsChanged() { return std::exchange(monitorsChangedUntold_, false); }

Uint64 DisplayHold::surfaceToRemakeSince() const { return surfaceToRemakeSince_; }

bool DisplayHold::raiseDue() const { return bypass_ && restack_ && SDL_GetTicks64() - lastRaise_ >= kRaiseIntervalMs; }

bool DisplayHold::monitorsDue() const { return monitorsChanged_ && SDL_GetTicks64() >= settleCheckDue_; }

// Whether SDL's display list agrees with the monitors of `layout`: it lists as many (under
// XWayland RandR may tell of a new monitor first); on Wayland itself, where the layout is made
// of SDL's list, it lists the primary the compositor names, and no two of its displays overlap,
// as they would where SDL has not been told one's new place yet (a mirror shows the same area
// as another: that is no overlap).
bool DisplayHold::listingSettled(const MonitorLayout& layout) const {
  if (SDL_GetNumVideoDisplays() < 1 + static_cast<int>(layout.covered.size())) return false;
  if (!waylandItself_) return true;
  if (!mainDisplayListed()) return false;
  std::vector<ScreenArea> listed;
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0) listed.push_back({bounds.x, bounds.y, bounds.w, bounds.h});
  }
  for (size_t i = 0; i < listed.size(); ++i)
    for (size_t j = i + 1; j < listed.size(); ++j) {
      const ScreenArea& a = listed[i];
      const ScreenArea& b = listed[j];
      const bool overlap = a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
      if (overlap && a != b) return false;
    }
  return true;
}

// Whether, as far as SDL knows (Wayland itself: by the monitors the compositor says each window
// entered), the surface is full screen on the main monitor and no two of the demo's windows
// share one.
bool DisplayHold::placedRight() const {
  std::vector<int> taken{SDL_GetWindowDisplayIndex(surface_)};
  if (taken.front() != mainDisplayIndex()) return false;
  for (SDL_Window* cover : covers_) {
    const int display = SDL_GetWindowDisplayIndex(cover);
    if (std::find(taken.begin(), taken.end(), display) != taken.end()) return false;
    taken.push_back(display);
  }
  return true;
}

// The window manager's way: covers made afresh for the monitors now, each full screen on its
// own. The compositor keeps a full-screen window on its monitor wherever that moves; under
// XWayland, where the window's place is known, the surface is asked onto the main monitor
// should that be another. (On Wayland itself a surface SDL does not have there is made again on
// the main one: see followMonitors.)
void DisplayHold::follow(const MonitorLayout& layout) {
  for (SDL_Window* cover : covers_) SDL_DestroyWindow(cover);
  covers_.clear();
  if (const auto x = x11::handleOf(surface_); x && placeOf(surface_) != layout.main) {
    SDL_SetWindowFullscreen(surface_, 0);
    moveTo(surface_, layout.main);
    SDL_SetWindowFullscreen(surface_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    askFullScreenOn(*x);
  }
  addCovers(layout);
  SDL_RaiseWindow(surface_);
  layout_ = layout;
}

// A black cover over each covered area it has none for yet.
void DisplayHold::addCovers(const MonitorLayout& layout) {
  TakeoverWindowScope scope;
  const Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR;
  const bool throughXWayland = !bypass_ && x11::handleOf(surface_);
  for (size_t i = covers_.size(); i < layout.covered.size(); ++i) {
    const ScreenArea& area = layout.covered[i];
    SDL_Window* cover =
        throughXWayland ? selfFullScreenCover(area, flags)
        : SDL_CreateWindow("disco", area.x, area.y, area.width, area.height,
                           flags | (bypass_ ? Uint32{0} : Uint32{SDL_WINDOW_FULLSCREEN_DESKTOP}));
    if (!cover) continue;
    paintBlack(cover);
    covers_.push_back(cover);
  }
  // SDL hides the cursor on the windows it has when asked; new covers are told again.
  if (SDL_ShowCursor(SDL_QUERY) == SDL_DISABLE) SDL_SetCursor(nullptr);
}

// The surface over the main monitor, and exactly one cover over each other monitor.
void DisplayHold::place(const MonitorLayout& layout) {
  moveTo(surface_, layout.main);
  while (covers_.size() > layout.covered.size()) {
    SDL_DestroyWindow(covers_.back());
    covers_.pop_back();
  }
  for (size_t i = 0; i < covers_.size(); ++i) moveTo(covers_[i], layout.covered[i]);
  addCovers(layout);
  if (const auto x = x11::handleOf(surface_)) watchWindows(x->display);
  ourXWindows_.clear();
  for (SDL_Window* window : covers_)
    if (const auto x = x11::handleOf(window)) ourXWindows_.push_back(x->window);
  if (const auto x = x11::handleOf(surface_)) ourXWindows_.push_back(x->window);
  layout_ = layout;
}

// Back on top, covers first and the surface last, with the keyboard focus; but never over a
// client that holds the keyboard, as a screen locker does (nor taking the focus from it, which
// raises the surface too). Keeps trying to have the keyboard while it is not ours.
void DisplayHold::raiseIfKeyboardOurs() {
  lastRaise_ = SDL_GetTicks64();
  const auto x = x11::handleOf(surface_);
  if (!x) return;
  if (!grabKeyboardOnce(*x)) {
    restack_ = true;
    return;
  }
  for (SDL_Window* cover : covers_)
    if (const auto coverX = x11::handleOf(cover)) XRaiseWindow(coverX->display, coverX->window);
  XRaiseWindow(x->display, x->window);
  SDL_SetWindowInputFocus(surface_);
}

}  // namespace platform::takeover
