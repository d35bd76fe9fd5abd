#include "platform/window/wayland/WaylandCovers.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/window/DisplayReport.h"
#include "platform/window/wayland/WaylandOutputs.h"
#include "xdg-shell-client-protocol.h"

namespace platform::takeover {
namespace {

// A black buffer: XRGB pixels of a fresh memory file are all zero.
wl_buffer* blackBuffer(wl_shm* shm, int width, int height) {
  const int stride = width * 4;
  const int fd = memfd_create("disco-cover", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  wl_buffer* buffer = nullptr;
  if (ftruncate(fd, static_cast<off_t>(stride) * height) == 0) {
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, stride * height);
    buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
  }
  close(fd);
  return buffer;
}

void onClose(void*, xdg_toplevel*) {}  // a cover stays as long as the demo needs it
void onBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void onCapabilitiesOfWm(void*, xdg_toplevel*, wl_array*) {}
void onLeave(void*, wl_surface*, wl_output*) {}

}  // namespace

WaylandCovers::Cover::~Cover() {
  if (toplevel) xdg_toplevel_destroy(toplevel);
  if (shell) xdg_surface_destroy(shell);
  if (surface) wl_surface_destroy(surface);
  if (buffer) wl_buffer_destroy(buffer);
}

void WaylandCovers::follow(const std::vector<OutputOrigin>& origins) {
  std::vector<uint32_t> targets;
  for (const OutputOrigin& origin : origins)
    if (const auto* output = outputs_.at(origin)) targets.push_back(output->id);
  covers_.remove_if([&](const Cover& cover) {
    return std::find(targets.begin(), targets.end(), cover.output) == targets.end();
  });
  for (uint32_t target : targets)
    if (std::none_of(covers_.begin(), covers_.end(), [&](const Cover& c) { return c.output == target; }))
      make(target);
}

void WaylandCovers::outputGone(uint32_t id) {
  covers_.remove_if([&](const Cover& cover) { return cover.output == id; });
}

void WaylandCovers::make(uint32_t output) {
  Cover& cover = covers_.emplace_back();
  cover.covers = this;
  cover.output = output;
  // The whole surface takes the pointer (the default input region).
  cover.surface = wl_compositor_create_surface(globals_.compositor);
  static constexpr wl_surface_listener kSurfaceListener = {onEnter, onLeave};
  wl_surface_add_listener(cover.surface, &kSurfaceListener, &cover);
  cover.shell = xdg_wm_base_get_xdg_surface(globals_.shell, cover.surface);
  static constexpr xdg_surface_listener kShellListener = {onConfigure};
  xdg_surface_add_listener(cover.shell, &kShellListener, &cover);
  cover.toplevel = xdg_surface_get_toplevel(cover.shell);
  static constexpr xdg_toplevel_listener kToplevelListener = {onToplevelConfigure, onClose, onBounds, onCapabilitiesOfWm};
  xdg_toplevel_add_listener(cover.toplevel, &kToplevelListener, &cover);
  xdg_toplevel_set_title(cover.toplevel, "disco");
  xdg_toplevel_set_app_id(cover.toplevel, "disco");
  placeOnOutput(cover, false);
  wl_surface_commit(cover.surface);
}

void WaylandCovers::placeOnOutput(Cover& cover, bool again) {
  const auto* output = outputs_.withId(cover.output);
  if (!output) return;
  if (again) {
    moveFullScreen(cover.toplevel, output->proxy);
  } else {
    xdg_toplevel_set_fullscreen(cover.toplevel, output->proxy);
  }
}

void WaylandCovers::onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* cover = static_cast<Cover*>(data);
  cover->width = width;
  cover->height = height;
}

// Painted at the size asked, or the output's where the compositor leaves it to the client.
void WaylandCovers::onConfigure(void* data, xdg_surface* shell, uint32_t serial) {
  auto* cover = static_cast<Cover*>(data);
  xdg_surface_ack_configure(shell, serial);
  int width = cover->width, height = cover->height;
  if (width <= 0 || height <= 0) {
    const auto* output = cover->covers->outputs_.withId(cover->output);
    width = output && output->width > 0 ? output->width : 1;
    height = output && output->height > 0 ? output->height : 1;
  }
  if (!cover->buffer || width != cover->bufferWidth || height != cover->bufferHeight) {
    if (cover->buffer) wl_buffer_destroy(cover->buffer);
    cover->buffer = blackBuffer(cover->covers->globals_.shm, width, height);
    if (!cover->buffer) reportOnce("cover buffer", "a black cover cannot be painted: no shared memory for its pixels");
    cover->bufferWidth = width;
    cover->bufferHeight = height;
  }
  wl_surface_attach(cover->surface, cover->buffer, 0, 0);
  wl_surface_damage(cover->surface, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_commit(cover->surface);
}

// The compositor may move a cover as its monitors change: it is asked back onto its own.
void WaylandCovers::onEnter(void* data, wl_surface*, wl_output* entered) {
  auto* cover = static_cast<Cover*>(data);
  const auto* own = cover->covers->outputs_.withId(cover->output);
  if (own && own->proxy != entered) cover->covers->placeOnOutput(*cover, true);
}

}  // namespace platform::takeover
