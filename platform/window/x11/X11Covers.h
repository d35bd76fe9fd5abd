#pragma once

#include <SDL.h>

#include <vector>

#include "platform/window/MonitorLayout.h"

namespace platform::takeover {

// The black windows over the monitors that do not show the scene, on X11, made as the way
// holding the displays needs them.
class Covers {
 public:
  // Makes one cover over an area, shown; null when it cannot.
  using Make = SDL_Window* (*)(const ScreenArea& area);

  explicit Covers(Make make) : make_(make) {}
  ~Covers();
  Covers(const Covers&) = delete;
  Covers& operator=(const Covers&) = delete;

  // A cover over each of `areas` past the ones there are already; one that cannot be made is
  // logged and left out.
  void addFor(const std::vector<ScreenArea>& areas);
  // The covers past the first `count` retired.
  void trim(size_t count);
  void paint();
  const std::vector<SDL_Window*>& windows() const { return windows_; }

 private:
  Make make_;
  std::vector<SDL_Window*> windows_;
};

}  // namespace platform::takeover
