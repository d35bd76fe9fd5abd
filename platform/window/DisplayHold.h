#pragma once

#include <SDL.h>

#include <memory>

// Taking every display for the full-screen surface, and keeping them while the demo runs: the
// surface over the main monitor, a black cover over each other one, the keyboard the demo's.
// Each way of holding them (HoldingWay) makes its own kind.
namespace platform::takeover {

// The displays, held for a surface.
class DisplayHold {
 public:
  // Made by a way for a surface: covers every monitor but the main one, then shows the surface
  // over the main monitor, raised, with the keyboard.
  virtual ~DisplayHold();
  DisplayHold(const DisplayHold&) = delete;
  DisplayHold& operator=(const DisplayHold&) = delete;

  // Called once a frame: acts on what the events since the last call told (the monitors
  // changed, a window came over the demo's, a cover needs painting). A frame with none of these
  // makes no request to the window system, and none waits on the compositor.
  virtual void keep() = 0;
  // Whether keep() has followed a change of the monitors since the last call (the surface may
  // show at another rate now).
  bool takeMonitorsChanged();
  // Whether the compositor may be moving the demo's windows for a change of the monitors just
  // now. A compositor may not call back for a frame of a surface it is moving, and SDL waits
  // for that call up to a second before a swap: meanwhile frames keep to the demo's own clock.
  virtual bool compositorBusy(Uint64 now) const { (void)now; return false; }

 protected:
  explicit DisplayHold(SDL_Window* surface) : surface_(surface) {}
  // Called by SDL as each event is queued, whoever reads the queue: only takes notes, since SDL
  // is in the middle of reading the window system here.
  virtual void notice(const SDL_Event& event) = 0;
  void startWatching();
  // Asks for the surface full screen through SDL; false, and said once, when refused.
  bool askFullScreen();
  // Every way's destructor calls it first: SDL may queue events while windows are destroyed.
  void stopWatching();

  SDL_Window* const surface_;
  bool monitorsFollowed_ = false;

 private:
  static int watch(void* hold, SDL_Event* event);
  bool watching_ = false;
};

}  // namespace platform::takeover
