#pragma once

#include <cstdint>

#include "platform/KeyEvent.h"

// Pressed/released state of the four arrow keys, fed with the key events the window receives.
// The flags are public: the scene reads them once per frame. Any non-zero value means pressed.
class InputManager {
 public:
  int8_t keyUp = 0;     // up arrow held
  int8_t keyDown = 0;   // down arrow held
  int8_t keyLeft = 0;   // left arrow held
  int8_t keyRight = 0;  // right arrow held

  // A key went down / came up. (Named apart from the flags above, which share the short names.)
  void onKeyDown(const KeyEvent& event) { setKey(event, 1); }
  void onKeyUp(const KeyEvent& event) { setKey(event, 0); }

  // Stores state in the flag of the arrow key the event is for; any other key changes nothing.
  void setKey(const KeyEvent& event, int8_t state);
};
