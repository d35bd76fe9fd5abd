#include "scene/InputManager.h"

void InputManager::setKey(const KeyEvent& event, int8_t state) {
  if ((event.modifierFlags & KeyEvent::FunctionKeyMask) == 0) return;
  // Only the first character counts; an event without one changes nothing.
  if (event.characters.empty()) return;
  switch (event.characters[0]) {
    case KeyEvent::UpArrowFunctionKey: keyUp = state; break;
    case KeyEvent::DownArrowFunctionKey: keyDown = state; break;
    case KeyEvent::LeftArrowFunctionKey: keyLeft = state; break;
    case KeyEvent::RightArrowFunctionKey: keyRight = state; break;
    default: break;
  }
}
