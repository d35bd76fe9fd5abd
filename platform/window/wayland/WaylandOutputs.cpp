#include "platform/window/wayland/WaylandOutputs.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace platform {
namespace {

void ignoreMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void ignoreDone(void*, wl_output*) {}
void ignoreScale(void*, wl_output*, int32_t) {}
void ignoreDescription(void*, wl_output*, const char*) {}
void ignoreLogicalDone(void*, zxdg_output_v1*) {}
void ignoreLogicalName(void*, zxdg_output_v1*, const char*) {}
void ignoreLogicalDescription(void*, zxdg_output_v1*, const char*) {}

}  // namespace

WaylandOutputs::~WaylandOutputs() {
  for (Output& output : outputs_) {
    if (output.logical) zxdg_output_v1_destroy(output.logical);
    wl_output_destroy(output.proxy);
  }
  if (manager_) zxdg_output_manager_v1_destroy(manager_);
}

void WaylandOutputs::offer(wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
  if (std::strcmp(interface, wl_output_interface.name) == 0) {
    Output& output = outputs_.emplace_back();
    output.id = id;
    output.owner = this;
    // Names came with version 4.
    output.proxy = static_cast<wl_output*>(wl_registry_bind(registry, id, &wl_output_interface, std::min(version, 4u)));
    static constexpr wl_output_listener kListener = {onGeometry,  ignoreMode, ignoreDone, ignoreScale,
                                                     onName, ignoreDescription};
    wl_output_add_listener(output.proxy, &kListener, &output);
    if (manager_) describe(output);
    changed_ = true;
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !manager_) {
    manager_ = static_cast<zxdg_output_manager_v1*>(
        wl_registry_bind(registry, id, &zxdg_output_manager_v1_interface, std::min(version, 2u)));
    for (Output& output : outputs_) describe(output);
  }
}

void WaylandOutputs::describe(Output& output) {
  output.logical = zxdg_output_manager_v1_get_xdg_output(manager_, output.proxy);
  static constexpr zxdg_output_v1_listener kListener = {onLogicalPosition, onLogicalSize, ignoreLogicalDone,
                                                        ignoreLogicalName, ignoreLogicalDescription};
  zxdg_output_v1_add_listener(output.logical, &kListener, &output);
}

void WaylandOutputs::remove(uint32_t id) {
  for (auto it = outputs_.begin(); it != outputs_.end(); ++it)
    if (it->id == id) {
      if (it->logical) zxdg_output_v1_destroy(it->logical);
      wl_output_destroy(it->proxy);
      outputs_.erase(it);
      changed_ = true;
      return;
    }
}

const WaylandOutputs::Output* WaylandOutputs::at(OutputOrigin origin) const {
  for (const Output& output : outputs_)
    if (output.origin == origin) return &output;
  return nullptr;
}

const WaylandOutputs::Output* WaylandOutputs::withId(uint32_t id) const {
  for (const Output& output : outputs_)
    if (output.id == id) return &output;
  return nullptr;
}

bool WaylandOutputs::takeChanged() { return std::exchange(changed_, false); }

void WaylandOutputs::onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                                const char*, const char*, int32_t) {
  auto* output = static_cast<Output*>(data);
  if (output->logical) return;  // the logical position holds
  output->origin = {x, y};
  output->owner->changed_ = true;
}

void WaylandOutputs::onName(void* data, wl_output*, const char* name) { static_cast<Output*>(data)->name = name; }

void WaylandOutputs::onLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  auto* output = static_cast<Output*>(data);
  output->origin = {x, y};
  output->owner->changed_ = true;
}

void WaylandOutputs::onLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
  auto* output = static_cast<Output*>(data);
  output->width = width;
  output->height = height;
}

void moveFullScreen(xdg_toplevel* toplevel, wl_output* output) {
  xdg_toplevel_unset_fullscreen(toplevel);
  xdg_toplevel_set_fullscreen(toplevel, output);
}

}  // namespace platform
