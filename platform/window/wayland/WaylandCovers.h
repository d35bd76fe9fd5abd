#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <list>
#include <vector>

#include "platform/window/PrimaryOutput.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;

namespace platform {
class WaylandOutputs;
}

namespace platform::takeover {

// The black covers on Wayland itself: toplevels, each full screen on its output, on the demo's
// private connection and touched by its thread alone. The whole of a cover takes the pointer, so
// a click on a black monitor reaches no window beneath it.
class WaylandCovers {
 public:
  struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* shell = nullptr;
  };

  WaylandCovers(const Globals& globals, const WaylandOutputs& outputs) : globals_(globals), outputs_(outputs) {}
  WaylandCovers(const WaylandCovers&) = delete;
  WaylandCovers& operator=(const WaylandCovers&) = delete;

  // Covers made and ended until the outputs at `origins`, and only they, have one.
  void follow(const std::vector<OutputOrigin>& origins);
  // An output gone takes its cover with it, before its proxy goes.
  void outputGone(uint32_t id);

 private:
  struct Cover {
    WaylandCovers* covers = nullptr;
    uint32_t output = 0;  // the registry's name of the output it covers
    wl_surface* surface = nullptr;
    xdg_surface* shell = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    int width = 0, height = 0;  // as last configured
    int bufferWidth = 0, bufferHeight = 0;
    ~Cover();
  };

  void make(uint32_t output);
  void placeOnOutput(Cover& cover, bool again);
  static void onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*);
  static void onConfigure(void* data, xdg_surface* shell, uint32_t serial);
  static void onEnter(void* data, wl_surface*, wl_output* entered);

  const Globals globals_;
  const WaylandOutputs& outputs_;
  std::list<Cover> covers_;  // a list: each cover's listeners hold its address
};

}  // namespace platform::takeover
