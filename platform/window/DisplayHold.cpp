#include "platform/window/DisplayHold.h"

#include <string>
#include <utility>

#include "platform/window/DisplayReport.h"

namespace platform::takeover {

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

bool DisplayHold::askFullScreen() {
  if (SDL_SetWindowFullscreen(surface_, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) return true;
  reportOnce("full screen", std::string("full screen refused: ") + SDL_GetError());
  return false;
}

}  // namespace platform::takeover
