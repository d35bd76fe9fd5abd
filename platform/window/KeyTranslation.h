#pragma once

#include <SDL.h>

#include <optional>

#include "platform/KeyEvent.h"

namespace platform {

// What a key going down or up is to the demo: a key event in the desktop key model, or nothing
// where it is a modifier changing (Shift, AltGr, Caps Lock) or a key the system handles
// (volume, media, brightness, power), neither of which is a key press that ends full screen.
std::optional<KeyEvent> translateKey(const SDL_Keysym& keysym);

}  // namespace platform
