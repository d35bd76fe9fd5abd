#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <list>
#include <string>

#include "platform/window/PrimaryOutput.h"

struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct xdg_toplevel;

namespace platform {

// The outputs a Wayland connection announces, each with its name and its place on the desktop:
// the logical position from xdg-output where the compositor has it (as SDL places its displays),
// else the output's own. Fed by the owner's registry listener; every object is bound on the
// registry's queue.
class WaylandOutputs {
 public:
  struct Output {
    uint32_t id = 0;  // the registry's name for it
    wl_output* proxy = nullptr;
    zxdg_output_v1* logical = nullptr;
    std::string name;
    OutputOrigin origin;
    int width = 0, height = 0;  // its logical size, where xdg-output tells it
    WaylandOutputs* owner = nullptr;
  };

  WaylandOutputs() = default;
  ~WaylandOutputs();
  WaylandOutputs(const WaylandOutputs&) = delete;
  WaylandOutputs& operator=(const WaylandOutputs&) = delete;

  // A global announced: binds it when it is an output or the xdg-output manager.
  void offer(wl_registry* registry, uint32_t id, const char* interface, uint32_t version);
  // A global gone: forgets it when it was an output.
  void remove(uint32_t id);

  const std::list<Output>& all() const { return outputs_; }
  // The output placed at `origin`; null where none is.
  const Output* at(OutputOrigin origin) const;
  const Output* withId(uint32_t id) const;
  // Whether an output came, went or moved since the last call.
  bool takeChanged();

 private:
  void describe(Output& output);
  static void onGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                         const char*, int32_t);
  static void onName(void*, wl_output*, const char*);
  static void onLogicalPosition(void*, zxdg_output_v1*, int32_t, int32_t);
  static void onLogicalSize(void*, zxdg_output_v1*, int32_t, int32_t);

  zxdg_output_manager_v1* manager_ = nullptr;
  std::list<Output> outputs_;  // a list: each output's listeners hold its address
  bool changed_ = false;
};

// Asks a full-screen toplevel onto another output. Out of full screen and back: kwin does not
// move a toplevel asked full screen again while it is full screen.
void moveFullScreen(xdg_toplevel* toplevel, wl_output* output);

}  // namespace platform
