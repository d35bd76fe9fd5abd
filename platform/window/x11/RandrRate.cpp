#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include "platform/window/x11/X11Monitors.h"

namespace platform::takeover::x11monitors {
namespace {

double modeRate(const XRRModeInfo& mode) {
  if (mode.hTotal == 0 || mode.vTotal == 0) return 0.0;
  double lines = mode.vTotal;
  if (mode.modeFlags & RR_DoubleScan) lines *= 2.0;
  if (mode.modeFlags & RR_Interlace) lines /= 2.0;
  return static_cast<double>(mode.dotClock) / (static_cast<double>(mode.hTotal) * lines);
}

// The rate of the CRTC showing the middle of `area`, from RandR; 0 when none does, or when the
// server's RandR is older than 1.2 (no CRTCs).
double crtcRate(Display* display, Window root, const SDL_Rect& area) {
  if (!x11::hasRandr(display, 1, 2)) return 0.0;
  x11::ErrorTrap trap(display);
  // Before 1.3 only the call that probes the outputs anew (slow on some hardware) is there.
  XRRScreenResources* resources = x11::hasRandr(display, 1, 3) ? XRRGetScreenResourcesCurrent(display, root)
                                                                : XRRGetScreenResources(display, root);
  if (!resources) return 0.0;
  const int midX = area.x + area.w / 2, midY = area.y + area.h / 2;
  double rate = 0.0;
  for (int c = 0; c < resources->ncrtc && rate == 0.0; ++c) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
    if (!crtc) continue;
    const bool shows = crtc->mode != None && midX >= crtc->x && midX < crtc->x + int(crtc->width) &&
                       midY >= crtc->y && midY < crtc->y + int(crtc->height);
    for (int m = 0; shows && m < resources->nmode; ++m)
      if (resources->modes[m].id == crtc->mode) rate = modeRate(resources->modes[m]);
    XRRFreeCrtcInfo(crtc);
  }
  XRRFreeScreenResources(resources);
  return rate;
}

}  // namespace

double randrRate(SDL_Window* window) {
  const auto x = x11::handleOf(window);
  if (!x) return 0.0;
  // The window's own place: SDL's display list can lag behind RandR's monitors.
  SDL_Rect area;
  SDL_GetWindowPosition(window, &area.x, &area.y);
  SDL_GetWindowSize(window, &area.w, &area.h);
  return crtcRate(x->display, DefaultRootWindow(x->display), area);
}

}  // namespace platform::takeover::x11monitors
