#pragma once

#include <functional>

#include "platform/KeyEvent.h"
#include "platform/window/Window.h"
#include "platform/Rect.h"

namespace platform {

// What the application loop asks of the view it hosts.
class ViewHandlers {
 public:
  virtual ~ViewHandlers() = default;
  // Once, with the view's context current, before anything is drawn.
  virtual void prepareOpenGL() = 0;
  // The view's size changed (and once before the first frame).
  virtual void reshape() = 0;
  // The view needs drawing.
  virtual void drawRect(Rect dirty) = 0;
  virtual void keyDown(const KeyEvent& event) = 0;
  virtual void keyUp(const KeyEvent& event) = 0;
  virtual void mouseDown() {}
  virtual void mouseUp() {}
  virtual void mouseDragged() {}
};

// Runs the view in its window: prepares it, then redraws on expose and resize and forwards
// keys and left-button events, until the window is closed. Returns the exit status.
int runApplication(GLSurface& surface, ViewHandlers& view);

// Hands one event to the view in its window, the desktop's or the page's: a redraw, a new size,
// keys and the left button. False once the window is closed.
inline bool deliverEvent(const Event& event, GLSurface& surface, ViewHandlers& view) {
  switch (event.type) {
    case EventType::Exposed: view.drawRect(surface.bounds()); break;
    case EventType::Resized: view.reshape(); break;
    case EventType::KeyDown: view.keyDown(event.key); break;
    case EventType::KeyUp: view.keyUp(event.key); break;
    case EventType::LeftMouseDown: view.mouseDown(); break;
    case EventType::LeftMouseUp: view.mouseUp(); break;
    case EventType::LeftMouseDragged: view.mouseDragged(); break;
    case EventType::Quit: return false;
    default: break;
  }
  return true;
}

// Calls `frame` once per frame for as long as it returns true, then `ended`: in a loop on the
// desktop, from the browser's animation frames in a web page (where it never returns).
void runFrameLoop(std::function<bool()> frame, std::function<void()> ended);

}  // namespace platform
