#include "platform/window/Covers.h"

#include <X11/Xlib.h>

#include <string>

#include "platform/window/DisplayHold.h"
#include "platform/window/DisplayReport.h"
#include "platform/window/RetiredWindows.h"
#include "platform/window/X11Calls.h"

namespace platform::takeover {
namespace {

// On X11 the server paints a cover from its background, on every exposure; elsewhere the
// cover's own pixels are filled, leaving the GL context as it was (SDL may draw a window's
// pixels through a GL context of its own).
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

}  // namespace

void Covers::addFor(const std::vector<ScreenArea>& areas) {
  const TakeoverWindowScope scope;
  for (size_t i = windows_.size(); i < areas.size(); ++i) {
    SDL_Window* cover = make_(areas[i]);
    if (!cover) {
      reportOnce("cover", std::string("a black cover cannot be made: ") + SDL_GetError());
      continue;
    }
    paintBlack(cover);
    windows_.push_back(cover);
  }
  // SDL hides the cursor on the windows it has when asked; new covers are told again.
  if (SDL_ShowCursor(SDL_QUERY) == SDL_DISABLE) SDL_SetCursor(nullptr);
}

// At once: a window made right after (a surface made again) must find no other of the demo's
// still full screen on its monitor.
Covers::~Covers() {
  for (SDL_Window* cover : windows_) SDL_DestroyWindow(cover);
}

void Covers::trim(size_t count) {
  while (windows_.size() > count) {
    retireWindow(windows_.back());
    windows_.pop_back();
  }
}

bool Covers::has(Uint32 windowID) const {
  for (SDL_Window* cover : windows_)
    if (SDL_GetWindowID(cover) == windowID) return true;
  return false;
}

void Covers::paint() {
  for (SDL_Window* cover : windows_) paintBlack(cover);
}

}  // namespace platform::takeover
