#include "platform/window/DisplayHold.h"

#include <cstring>
#include <string>
#include <utility>

#include "platform/window/DisplayReport.h"
#include "platform/window/DisplayServer.h"
#include "platform/window/HoldWays.h"
#include "platform/window/MainDisplay.h"

namespace platform::takeover {

HoldingWay holdingWay() {
  static const HoldingWay way = [] {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return HoldingWay::WaylandFullScreen;
    // XWayland names its outputs XWAYLAND0, 1, ...
    const char* name = SDL_GetDisplayName(0);
    return name && std::strncmp(name, "XWAYLAND", 8) == 0 ? HoldingWay::XWaylandFullScreen
                                                          : HoldingWay::OverrideRedirect;
  }();
  return way;
}

TakeoverWindowScope::TakeoverWindowScope() {
  if (holdingWay() != HoldingWay::OverrideRedirect) return;
  if (const char* found = SDL_GetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT)) found_ = found;
  set_ = SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "1");
}

TakeoverWindowScope::~TakeoverWindowScope() {
  if (!set_) return;
  if (found_) {
    SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, found_->c_str());
  } else {
    SDL_ResetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT);
  }
}

std::unique_ptr<DisplayHold> DisplayHold::take(SDL_Window* surface) {
  switch (holdingWay()) {
    case HoldingWay::OverrideRedirect: return holdByOverrideRedirect(surface);
    case HoldingWay::XWaylandFullScreen: return holdThroughXWayland(surface);
    case HoldingWay::WaylandFullScreen: return holdOnWayland(surface);
  }
  return nullptr;
}

DisplayHold::~DisplayHold() { stopWatching(); }

bool DisplayHold::takeMonitorsChanged() { return std::exchange(monitorsFollowed_, false); }

void DisplayHold::startWatching() {
  SDL_AddEventWatch(&DisplayHold::watch, this);
  watching_ = true;
}

void DisplayHold::stopWatching() {
  if (watching_) SDL_DelEventWatch(&DisplayHold::watch, this);
  watching_ = false;
}

int DisplayHold::watch(void* hold, SDL_Event* event) {
  static_cast<DisplayHold*>(hold)->notice(*event);
  return 0;
}

MonitorLayout listedLayout() {
  std::vector<Monitor> monitors;
  const int main = mainDisplayIndex();
  for (int index = 0; index < SDL_GetNumVideoDisplays(); ++index) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index, &bounds) == 0)
      monitors.push_back({{bounds.x, bounds.y, bounds.w, bounds.h}, index == main});
  }
  return layoutFor(monitors);
}

bool askFullScreen(SDL_Window* surface) {
  if (SDL_SetWindowFullscreen(surface, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) return true;
  reportOnce("full screen", std::string("full screen refused: ") + SDL_GetError());
  return false;
}

}  // namespace platform::takeover
