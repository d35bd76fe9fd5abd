#pragma once

#include <X11/Xlib.h>

#include "platform/window/MonitorLayout.h"
#include "platform/window/X11Calls.h"

// The monitors of an X server (Xorg, or XWayland mirroring the compositor's outputs), for the
// two ways of holding the displays on X11.
namespace platform::takeover::x11monitors {

// The monitors from RandR's own list where the server has one; else from SDL's display list.
MonitorLayout currentLayout(Display* display);

// Tells the connection of every change of the monitors (RandR 1.2), as window-system events
// through SDL. Returns RandR's event base, or -1 where the server cannot.
int watchMonitors(Display* display);
// Whether `event` tells a change of the monitors, for the event base watchMonitors gave.
bool isMonitorsEvent(const XEvent& event, int eventBase);

// Asks the window manager (EWMH) for the full-screen window on the monitor showing `area`, else
// on the primary: it places a new full-screen window on a monitor of its choosing (mutter: the
// one with the pointer, whatever the window's position).
void askFullScreenOn(const x11::WindowHandle& x, const ScreenArea* area = nullptr);

}  // namespace platform::takeover::x11monitors
