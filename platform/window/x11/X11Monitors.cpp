#include "platform/window/x11/X11Monitors.h"

#include <SDL_syswm.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "platform/window/DisplayReport.h"
#include "platform/window/MainDisplay.h"
#include "platform/window/x11/RandrMonitors.h"

namespace platform::takeover::x11monitors {

MonitorLayout currentLayout(Display* display) {
  if (auto monitors = randrMonitors(display)) return layoutFor(*monitors);
  return listedLayout();
}

const XEvent* xEventOf(const SDL_Event& event) {
  if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return nullptr;
  return &event.syswm.msg->msg.x11.event;
}

void MonitorsWatch::start(Display* display) {
  {
    x11::ErrorTrap trap(display);
    int errorBase = 0;
    if (x11::hasRandr(display, 1, 2) && XRRQueryExtension(display, &eventBase_, &errorBase)) {
      XRRSelectInput(display, DefaultRootWindow(display),
                     RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    } else {
      eventBase_ = -1;
    }
  }
  sysWMEventsBefore_ = SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  started_ = true;
}

MonitorsWatch::~MonitorsWatch() {
  if (started_) SDL_EventState(SDL_SYSWMEVENT, sysWMEventsBefore_);
}

bool MonitorsWatch::tells(const XEvent& event) const {
  return eventBase_ >= 0 && (event.type == eventBase_ + RRScreenChangeNotify || event.type == eventBase_ + RRNotify);
}

// The monitors are Xinerama's, which the server lists in RandR's monitor order.
void askFullScreenOn(const x11::WindowHandle& x, const ScreenArea* area) {
  const auto monitors = randrMonitors(x.display);
  if (!monitors) {
    reportOnce("full-screen monitors",
               "the window manager cannot be told which monitor to fill: the X server's RandR lists no monitors");
    return;
  }
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

}  // namespace platform::takeover::x11monitors
