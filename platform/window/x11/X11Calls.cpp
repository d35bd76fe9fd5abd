#include "platform/window/x11/X11Calls.h"

#include <SDL_syswm.h>
#include <X11/extensions/Xrandr.h>

namespace platform::x11 {
namespace {

// Xlib has one error handler for the whole process: a C function, so the count it keeps can
// only live here.
unsigned long errorsTrapped = 0;

int countError(Display*, XErrorEvent*) {
  ++errorsTrapped;
  return 0;
}

}  // namespace

std::optional<WindowHandle> handleOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return std::nullopt;
  return WindowHandle{info.info.x11.display, info.info.x11.window};
}

ErrorTrap::ErrorTrap(Display* display) : display_(display) {
  XSync(display_, False);
  previous_ = XSetErrorHandler(countError);
  errorsBefore_ = errorsTrapped;
}

ErrorTrap::~ErrorTrap() {
  XSync(display_, False);
  XSetErrorHandler(previous_);
}

bool ErrorTrap::failed() {
  XSync(display_, False);
  return errorsTrapped != errorsBefore_;
}

bool hasRandr(Display* display, int major, int minor) {
  int eventBase = 0, errorBase = 0, serverMajor = 0, serverMinor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase)) return false;
  if (!XRRQueryVersion(display, &serverMajor, &serverMinor)) return false;
  return serverMajor > major || (serverMajor == major && serverMinor >= minor);
}

}  // namespace platform::x11
