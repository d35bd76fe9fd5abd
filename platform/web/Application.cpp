// The application loop in a web page. Browsers give sound and full screen only after a gesture,
// so the view is prepared when the page reports the visitor's first click or key (disco_start).
// From then on every animation frame is one step: the full-screen frame, or else the view drawn
// in the page with the keys going to it.
#include "platform/window/Application.h"

#include <emscripten/emscripten.h>

#include "platform/web/HostedView.h"

namespace platform {
namespace {

GLSurface* hostedSurface = nullptr;
ViewHandlers* hostedView = nullptr;

void windowFrame() {
  Event event;
  while (pollEvent(event)) deliverEvent(event, *hostedSurface, *hostedView);
  hostedView->drawRect(hostedSurface->bounds());  // the page shows a new frame every time
}

struct FrameLoop {
  std::function<bool()> frame;
  std::function<void()> ended;
};

void frameLoopStep(void* loop) {
  const FrameLoop& running = *static_cast<FrameLoop*>(loop);
  if (running.frame()) return;
  emscripten_cancel_main_loop();
  running.ended();
}

}  // namespace

int runApplication(GLSurface& surface, ViewHandlers& view) {
  hostedSurface = &surface;
  hostedView = &view;
  // Nothing more until the visitor's gesture; the caller's frame (and the view it owns) stays.
  emscripten_exit_with_live_runtime();
}

void runFrameLoop(std::function<bool()> frame, std::function<void()> ended) {
  static FrameLoop running;
  running = FrameLoop{std::move(frame), std::move(ended)};
  emscripten_set_main_loop_arg(frameLoopStep, &running, 0, 1);  // never returns
}

}  // namespace platform

namespace web {
platform::ViewHandlers* hostedView() { return platform::hostedView; }
}  // namespace web

extern "C" EMSCRIPTEN_KEEPALIVE void disco_start() {
  using namespace platform;
  if (!hostedView) return;
  hostedSurface->makeCurrent();
  hostedView->prepareOpenGL();  // in full screen its frame loop takes over here
  hostedSurface->show();
  hostedSurface->makeCurrent();
  hostedView->reshape();
  emscripten_set_main_loop(windowFrame, 0, 1);
}
