#include "platform/window/X11Monitors.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "platform/window/HoldWays.h"
#include "platform/window/RandrMonitors.h"

namespace platform::takeover::x11monitors {

MonitorLayout currentLayout(Display* display) {
  if (auto monitors = randrMonitors(display)) return layoutFor(*monitors);
  return listedLayout();
}

int watchMonitors(Display* display) {
  x11::ErrorTrap trap(display);
  int eventBase = -1, errorBase = 0;
  if (!x11::hasRandr(display, 1, 2) || !XRRQueryExtension(display, &eventBase, &errorBase)) return -1;
  XRRSelectInput(display, DefaultRootWindow(display),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  return eventBase;
}

bool isMonitorsEvent(const XEvent& event, int eventBase) {
  return eventBase >= 0 && (event.type == eventBase + RRScreenChangeNotify || event.type == eventBase + RRNotify);
}

// The monitors are Xinerama's, which the server lists in RandR's monitor order.
void askFullScreenOn(const x11::WindowHandle& x, const ScreenArea* area) {
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

}  // namespace platform::takeover::x11monitors
