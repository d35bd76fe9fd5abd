#include "platform/window/KeyTranslation.h"

namespace platform {

namespace {

// Function and navigation keys produce these private-use characters, like desktop key events do.
char16_t functionKeyCharacter(SDL_Keycode key) {
  switch (key) {
    case SDLK_UP: return KeyEvent::UpArrowFunctionKey;
    case SDLK_DOWN: return KeyEvent::DownArrowFunctionKey;
    case SDLK_LEFT: return KeyEvent::LeftArrowFunctionKey;
    case SDLK_RIGHT: return KeyEvent::RightArrowFunctionKey;
    case SDLK_INSERT: return 0xF727;
    case SDLK_DELETE: return 0xF728;
    case SDLK_HOME: return 0xF729;
    case SDLK_END: return 0xF72B;
    case SDLK_PAGEUP: return 0xF72C;
    case SDLK_PAGEDOWN: return 0xF72D;
    case SDLK_PRINTSCREEN: return 0xF72E;
    case SDLK_SCROLLLOCK: return 0xF72F;
    case SDLK_PAUSE: return 0xF730;
    case SDLK_MENU: return 0xF735;
    default: break;
  }
  if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<char16_t>(0xF704 + (key - SDLK_F1));
  if (key >= SDLK_F13 && key <= SDLK_F24) return static_cast<char16_t>(0xF710 + (key - SDLK_F13));
  return 0xF700 + 0x3F;  // another function key without a character of its own
}

bool isModifierKey(const SDL_Keysym& keysym) {
  switch (keysym.sym) {
    case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL: case SDLK_LALT:
    case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: case SDLK_CAPSLOCK: case SDLK_MODE:
    case SDLK_NUMLOCKCLEAR:
      return true;
    default:
      break;
  }
  // Some layouts give a modifier no key symbol SDL knows (AltGr as ISO_Level3_Shift): its
  // position on the keyboard still says what it is.
  const SDL_Scancode code = keysym.scancode;
  return (code >= SDL_SCANCODE_LCTRL && code <= SDL_SCANCODE_RGUI) || code == SDL_SCANCODE_MODE ||
         code == SDL_SCANCODE_CAPSLOCK || code == SDL_SCANCODE_NUMLOCKCLEAR;
}

// Volume, brightness, media and power keys are not key presses on the desktops whose key events
// the demo follows: the system handles them.
bool isSystemKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_VOLUMEUP: case SDLK_VOLUMEDOWN: case SDLK_MUTE: case SDLK_AUDIOMUTE:
    case SDLK_AUDIOPLAY: case SDLK_AUDIOSTOP: case SDLK_AUDIONEXT: case SDLK_AUDIOPREV:
    case SDLK_AUDIOREWIND: case SDLK_AUDIOFASTFORWARD: case SDLK_MEDIASELECT:
    case SDLK_BRIGHTNESSUP: case SDLK_BRIGHTNESSDOWN: case SDLK_DISPLAYSWITCH:
    case SDLK_KBDILLUMTOGGLE: case SDLK_KBDILLUMDOWN: case SDLK_KBDILLUMUP:
    case SDLK_EJECT: case SDLK_POWER: case SDLK_SLEEP:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<KeyEvent> translateKey(const SDL_Keysym& keysym) {
  if (isModifierKey(keysym) || isSystemKey(keysym.sym)) return std::nullopt;
  KeyEvent key;
  if (keysym.mod & KMOD_SHIFT) key.modifierFlags |= KeyEvent::ShiftKeyMask;
  if (keysym.mod & KMOD_CTRL) key.modifierFlags |= KeyEvent::ControlKeyMask;
  if (keysym.mod & KMOD_ALT) key.modifierFlags |= KeyEvent::AlternateKeyMask;
  if (keysym.mod & KMOD_GUI) key.modifierFlags |= KeyEvent::CommandKeyMask;
  const SDL_Keycode code = keysym.sym;
  const bool text = (code & SDLK_SCANCODE_MASK) == 0 && code != SDLK_DELETE;
  if (text) {
    char16_t character = static_cast<char16_t>(code);
    if ((keysym.mod & KMOD_SHIFT) && character >= u'a' && character <= u'z') character -= 0x20;
    key.characters.assign(1, character);
  } else {
    key.modifierFlags |= KeyEvent::FunctionKeyMask;
    key.characters.assign(1, functionKeyCharacter(code));
  }
  if (keysym.scancode >= SDL_SCANCODE_KP_DIVIDE && keysym.scancode <= SDL_SCANCODE_KP_PERIOD)
    key.modifierFlags |= KeyEvent::NumericPadKeyMask;
  return key;
}

}  // namespace platform
