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
  while (waitEvent(event)) {
    switch (event.type) {
      case EventType::Exposed: view.drawRect(surface.bounds()); break;
      case EventType::Resized: view.reshape(); break;
      case EventType::KeyDown: view.keyDown(event.key); break;
      case EventType::KeyUp: view.keyUp(event.key); break;
      case EventType::LeftMouseDown: view.mouseDown(); break;
      case EventType::LeftMouseUp: view.mouseUp(); break;
      case EventType::LeftMouseDragged: view.mouseDragged(); break;
      case EventType::Quit: return 0;
      default: break;
    }
  }
  return 0;
}

void runFrameLoop(std::function<bool()> frame) {
  while (frame()) {
  }
}

}  // namespace platform
