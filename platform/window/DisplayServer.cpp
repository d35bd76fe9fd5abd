#include "platform/window/DisplayServer.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

namespace platform {

namespace {

std::vector<std::string> namedDrivers(std::string list) {
  std::transform(list.begin(), list.end(), list.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::vector<std::string> names;
  std::istringstream in(list);
  for (std::string name; std::getline(in, name, ',');)
    if (!name.empty()) names.push_back(name);
  return names;
}

std::vector<std::string> candidateDrivers() {
  if (const char* named = SDL_getenv("SDL_VIDEODRIVER")) return namedDrivers(named);
  // Wayland itself first: an X client on a scaled output is drawn at the logical size and
  // stretched by the compositor, while a Wayland surface is drawn at the device pixels.
  std::vector<std::string> drivers;
  if (SDL_getenv("WAYLAND_DISPLAY")) drivers.push_back("wayland");
  if (SDL_getenv("DISPLAY")) drivers.push_back("x11");
  return drivers;
}

}  // namespace

std::string connectDisplayServer() {
  std::string problem = "neither DISPLAY nor WAYLAND_DISPLAY names a display";
  for (const std::string& driver : candidateDrivers()) {
    if (driver == "wayland") {
      const std::string refusal = waylandProblem();
      if (!refusal.empty()) {
        problem = refusal;
        continue;
      }
    }
    // Overrides SDL_VIDEODRIVER too, so that SDL tries exactly this one driver.
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, driver.c_str(), SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      problem = SDL_GetError();
      continue;
    }
    if (SDL_GetNumVideoDisplays() >= 1) return {};
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    problem = "the display has no screen";
  }
  return problem;
}

}  // namespace platform
