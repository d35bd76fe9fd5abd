#include <gtest/gtest.h>

#include <SDL.h>

#include <string>

#include "platform/window/KeyTranslation.h"

namespace {

using platform::translateKey;

constexpr uint32_t kShift = KeyEvent::ShiftKeyMask;
constexpr uint32_t kControl = KeyEvent::ControlKeyMask;
constexpr uint32_t kAlt = KeyEvent::AlternateKeyMask;
constexpr uint32_t kFunction = KeyEvent::FunctionKeyMask;
constexpr uint32_t kKeypad = KeyEvent::NumericPadKeyMask;

SDL_Keysym keysym(SDL_Keycode sym, SDL_Scancode scancode, Uint16 mod = KMOD_NONE) {
  SDL_Keysym key{};
  key.sym = sym;
  key.scancode = scancode;
  key.mod = mod;
  return key;
}

TEST(KeyTranslation, ModifiersAndKeysTheSystemHandlesAreNoKeyPresses) {
  const struct {
    const char* name;
    SDL_Keysym key;
  } cases[] = {
      {"left shift", keysym(SDLK_LSHIFT, SDL_SCANCODE_LSHIFT)},
      {"right control", keysym(SDLK_RCTRL, SDL_SCANCODE_RCTRL)},
      {"left alt", keysym(SDLK_LALT, SDL_SCANCODE_LALT)},
      {"super", keysym(SDLK_LGUI, SDL_SCANCODE_LGUI)},
      {"caps lock", keysym(SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK)},
      {"num lock", keysym(SDLK_NUMLOCKCLEAR, SDL_SCANCODE_NUMLOCKCLEAR)},
      {"mode switch", keysym(SDLK_MODE, SDL_SCANCODE_MODE)},
      // AltGr as ISO_Level3_Shift has a key symbol SDL does not know; its place tells.
      {"AltGr, unknown symbol", keysym(SDLK_UNKNOWN, SDL_SCANCODE_RALT)},
      {"level 3 shift, unknown symbol", keysym(SDLK_UNKNOWN, SDL_SCANCODE_MODE)},
      {"shift held with shift", keysym(SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, KMOD_LSHIFT)},
      {"volume up", keysym(SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP)},
      {"volume down", keysym(SDLK_VOLUMEDOWN, SDL_SCANCODE_VOLUMEDOWN)},
      {"mute", keysym(SDLK_AUDIOMUTE, SDL_SCANCODE_AUDIOMUTE)},
      {"play", keysym(SDLK_AUDIOPLAY, SDL_SCANCODE_AUDIOPLAY)},
      {"next track", keysym(SDLK_AUDIONEXT, SDL_SCANCODE_AUDIONEXT)},
      {"brightness up", keysym(SDLK_BRIGHTNESSUP, SDL_SCANCODE_BRIGHTNESSUP)},
      {"brightness down", keysym(SDLK_BRIGHTNESSDOWN, SDL_SCANCODE_BRIGHTNESSDOWN)},
      {"eject", keysym(SDLK_EJECT, SDL_SCANCODE_EJECT)},
      {"power", keysym(SDLK_POWER, SDL_SCANCODE_POWER)},
      {"sleep", keysym(SDLK_SLEEP, SDL_SCANCODE_SLEEP)},
  };
  for (const auto& c : cases) EXPECT_FALSE(translateKey(c.key).has_value()) << c.name;
}

TEST(KeyTranslation, EveryOtherKeyIsAKeyPressWithTheDesktopsCharactersAndFlags) {
  const struct {
    const char* name;
    SDL_Keysym key;
    std::u16string characters;
    uint32_t flags;
  } cases[] = {
      {"a", keysym(SDLK_a, SDL_SCANCODE_A), u"a", 0},
      {"shift a", keysym(SDLK_a, SDL_SCANCODE_A, KMOD_LSHIFT), u"A", kShift},
      {"right shift z", keysym(SDLK_z, SDL_SCANCODE_Z, KMOD_RSHIFT), u"Z", kShift},
      {"shift 1", keysym(SDLK_1, SDL_SCANCODE_1, KMOD_LSHIFT), u"1", kShift},
      {"control c", keysym(SDLK_c, SDL_SCANCODE_C, KMOD_LCTRL), u"c", kControl},
      {"alt x", keysym(SDLK_x, SDL_SCANCODE_X, KMOD_RALT), u"x", kAlt},
      {"space", keysym(SDLK_SPACE, SDL_SCANCODE_SPACE), u" ", 0},
      {"escape", keysym(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), u"\x1b", 0},
      {"return", keysym(SDLK_RETURN, SDL_SCANCODE_RETURN), u"\r", 0},
      {"up", keysym(SDLK_UP, SDL_SCANCODE_UP), u"\xF700", kFunction},
      {"down", keysym(SDLK_DOWN, SDL_SCANCODE_DOWN), u"\xF701", kFunction},
      {"left", keysym(SDLK_LEFT, SDL_SCANCODE_LEFT), u"\xF702", kFunction},
      {"right", keysym(SDLK_RIGHT, SDL_SCANCODE_RIGHT), u"\xF703", kFunction},
      {"shift right", keysym(SDLK_RIGHT, SDL_SCANCODE_RIGHT, KMOD_LSHIFT), u"\xF703", kFunction | kShift},
      {"F1", keysym(SDLK_F1, SDL_SCANCODE_F1), u"\xF704", kFunction},
      {"F12", keysym(SDLK_F12, SDL_SCANCODE_F12), u"\xF70F", kFunction},
      {"F13", keysym(SDLK_F13, SDL_SCANCODE_F13), u"\xF710", kFunction},
      {"delete", keysym(SDLK_DELETE, SDL_SCANCODE_DELETE), u"\xF728", kFunction},
      {"home", keysym(SDLK_HOME, SDL_SCANCODE_HOME), u"\xF729", kFunction},
      {"page down", keysym(SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN), u"\xF72D", kFunction},
      {"keypad enter", keysym(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER), u"\xF73F", kFunction | kKeypad},
      {"keypad 8", keysym(SDLK_KP_8, SDL_SCANCODE_KP_8), u"\xF73F", kFunction | kKeypad},
      {"keypad period", keysym(SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD), u"\xF73F", kFunction | kKeypad},
      {"keypad divide", keysym(SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE), u"\xF73F", kFunction | kKeypad},
      // A key SDL has no symbol for is still a key press (it ends full screen).
      {"unknown key", keysym(SDLK_UNKNOWN, SDL_SCANCODE_INTERNATIONAL1), std::u16string(1, u'\0'), 0},
  };
  for (const auto& c : cases) {
    const auto key = translateKey(c.key);
    ASSERT_TRUE(key.has_value()) << c.name;
    EXPECT_EQ(key->characters, c.characters) << c.name;
    EXPECT_EQ(key->modifierFlags, c.flags) << c.name;
  }
}

}  // namespace
