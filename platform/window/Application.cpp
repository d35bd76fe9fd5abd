#include "platform/window/Application.h"

namespace platform {

int runApplication(GLSurface& surface, ViewHandlers& view) {
  surface.makeCurrent();
  view.prepareOpenGL();
  // Back here, the view stays in its window and draws on demand.
  surface.show();
  surface.makeCurrent();
  view.reshape();
  view.drawRect(surface.bounds());

  Event event;
  while (waitEvent(event) && deliverEvent(event, surface, view)) {
  }
  return 0;
}

void runFrameLoop(std::function<bool()> frame, std::function<void()> ended) {
  while (frame()) {
  }
  ended();
}

}  // namespace platform
