#include "platform/window/DisplayTakeover.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstring>

namespace platform::takeover {

bool bypassesWindowManager() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return false;
  // Under XWayland the compositor decides the keyboard focus: an override-redirect window and
  // the compositor would hand it back and forth for ever, and keys go astray. Its own
  // full-screen state serves there (XWayland names its outputs XWAYLAND0, 1, ...).
  const char* name = SDL_GetDisplayName(0);
  return !(name && std::strncmp(name, "XWAYLAND", 8) == 0);
}

TakeoverWindowScope::TakeoverWindowScope() {
  if (bypassesWindowManager()) SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1");
}

TakeoverWindowScope::~TakeoverWindowScope() { SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "0"); }

namespace {

bool x11Window(SDL_Window* window, Display*& display, Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

// Paints a cover black. On X11 the server does it, on every exposure, from the window's
// background; elsewhere the cover's own pixels are filled, leaving the GL context as it was
// (SDL may draw a window's pixels through a GL context of its own).
void paintBlack(SDL_Window* cover) {
  Display* display;
  Window xwindow;
  if (x11Window(cover, display, xwindow)) {
    XSetWindowBackground(display, xwindow, BlackPixel(display, DefaultScreen(display)));
    XClearWindow(display, xwindow);
    XFlush(display);
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

SDL_Window* blackCover(const SDL_Rect& area, Uint32 flags) {
  SDL_Window* cover = SDL_CreateWindow("disco", area.x, area.y, area.w, area.h, flags);
  if (cover) paintBlack(cover);
  return cover;
}

void destroyAll(std::vector<SDL_Window*>& windows) {
  for (SDL_Window* window : windows) SDL_DestroyWindow(window);
  windows.clear();
}

// With no window manager between it and the server, a window must install its own colour map:
// on a DirectColor visual (which GLX often picks) every pixel shows black until it does.
void installColormap(SDL_Window* window) {
  Display* display;
  Window xwindow;
  XWindowAttributes attributes;
  if (!x11Window(window, display, xwindow) || !XGetWindowAttributes(display, xwindow, &attributes)) return;
  if (attributes.colormap != None) XInstallColormap(display, attributes.colormap);
}

// The keyboard, for the surface alone. Another client may hold it for a moment (a menu being
// closed, a key held down); one that keeps it (a screen locker) means the displays are not ours.
bool grabKeyboard(SDL_Window* window) {
  Display* display;
  Window xwindow;
  if (!x11Window(window, display, xwindow)) return false;
  for (int attempt = 0; attempt < 25; ++attempt) {
    if (XGrabKeyboard(display, xwindow, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) return true;
    SDL_Delay(20);
  }
  return false;
}

}  // namespace

bool takeDisplays(SDL_Window* surface, std::vector<SDL_Window*>& covers) {
  const bool bypass = bypassesWindowManager();
  // Covers first: without a window manager SDL focuses every window it shows, and the surface
  // shown last keeps the focus.
  {
    TakeoverWindowScope scope;
    const Uint32 coverFlags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR |
                              (bypass ? Uint32{0} : Uint32{SDL_WINDOW_FULLSCREEN_DESKTOP});
    for (int display = 1; display < SDL_GetNumVideoDisplays(); ++display) {
      SDL_Rect area;
      if (SDL_GetDisplayBounds(display, &area) != 0) continue;
      if (SDL_Window* cover = blackCover(area, coverFlags)) covers.push_back(cover);
    }
  }
  // Where the window manager is bypassed the surface already has the main display's exact
  // place and size; asking SDL for full screen there would only wait for a manager's answer.
  if (!bypass && SDL_SetWindowFullscreen(surface, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
    destroyAll(covers);
    return false;
  }
  SDL_ShowWindow(surface);
  SDL_RaiseWindow(surface);
  if (bypass) {
    if (!grabKeyboard(surface)) {
      SDL_HideWindow(surface);
      destroyAll(covers);
      return false;
    }
    installColormap(surface);
    SDL_SetWindowInputFocus(surface);
  }
  // SDL keeps the grab from here on, taking it again whenever the surface regains the focus.
  SDL_SetWindowKeyboardGrab(surface, SDL_TRUE);
  return true;
}

void keepDisplays(SDL_Window* surface, const std::vector<SDL_Window*>& covers, const SDL_Event& event) {
  if (event.type != SDL_WINDOWEVENT) return;
  if (!bypassesWindowManager()) {
    if (event.window.event != SDL_WINDOWEVENT_EXPOSED) return;
    for (SDL_Window* cover : covers)
      if (SDL_GetWindowID(cover) == event.window.windowID) paintBlack(cover);
    return;
  }
  const Uint32 surfaceID = SDL_GetWindowID(surface);
  const bool surfaceLost = event.window.event == SDL_WINDOWEVENT_FOCUS_LOST && event.window.windowID == surfaceID;
  const bool otherGained = event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && event.window.windowID != surfaceID;
  if (surfaceLost || otherGained) SDL_SetWindowInputFocus(surface);
}

}  // namespace platform::takeover
