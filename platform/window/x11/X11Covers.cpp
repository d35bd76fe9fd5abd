#include "platform/window/x11/X11Covers.h"

#include <X11/Xlib.h>

#include <string>

#include "platform/window/DisplayReport.h"
#include "platform/window/x11/X11Calls.h"

namespace platform::takeover {
namespace {

// The X server paints a cover from its background, on every exposure.
void paintBlack(SDL_Window* cover) {
  const auto x = x11::handleOf(cover);
  if (!x) return;
  x11::ErrorTrap trap(x->display);
  XSetWindowBackground(x->display, x->window, BlackPixel(x->display, DefaultScreen(x->display)));
  XClearWindow(x->display, x->window);
}

}  // namespace

void Covers::addFor(const std::vector<ScreenArea>& areas) {
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

Covers::~Covers() {
  for (SDL_Window* cover : windows_) SDL_DestroyWindow(cover);
}

void Covers::trim(size_t count) {
  while (windows_.size() > count) {
    SDL_DestroyWindow(windows_.back());
    windows_.pop_back();
  }
}

void Covers::paint() {
  for (SDL_Window* cover : windows_) paintBlack(cover);
}

}  // namespace platform::takeover
