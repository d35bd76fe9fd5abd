#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/window/DisplayReport.h"
#include "platform/window/HoldingWay.h"
#include "platform/window/x11/X11Monitors.h"

namespace platform::takeover {

// What the two ways on X11 share: RandR tells the monitors' true rates.
class X11Way : public HoldingWay {
 public:
  double refreshRate(SDL_Window* window) override {
    const double rate = x11monitors::randrRate(window);
    return rate > 0.0 ? rate : HoldingWay::refreshRate(window);
  }

 protected:
  // A `Hold` of the X window behind `surface`, taken; null when there is none (said once) or the
  // displays are refused.
  template <class Hold>
  static std::unique_ptr<DisplayHold> holdWith(SDL_Window* surface) {
    const auto x = x11::handleOf(surface);
    if (!x) {
      reportOnce("x11 handle", std::string("no X11 window behind the surface: ") + SDL_GetError());
      return nullptr;
    }
    auto hold = std::make_unique<Hold>(surface, *x);
    return hold->take() ? std::move(hold) : nullptr;
  }
};

}  // namespace platform::takeover
