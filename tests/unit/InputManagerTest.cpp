#include <gtest/gtest.h>

#include "scene/InputManager.h"

namespace {

KeyEvent functionKey(char16_t character, uint32_t extraFlags = 0) {
  return KeyEvent{KeyEvent::FunctionKeyMask | extraFlags, std::u16string(1, character)};
}

struct Flags {
  int up, down, left, right;
  bool operator==(const Flags&) const = default;
};
Flags flagsOf(const InputManager& input) { return {input.keyUp, input.keyDown, input.keyLeft, input.keyRight}; }

TEST(InputManager, StartsWithAllArrowsReleased) {
  InputManager input;
  EXPECT_EQ(flagsOf(input), (Flags{0, 0, 0, 0}));
}

TEST(InputManager, EachArrowSetsAndClearsOnlyItsOwnFlag) {
  const char16_t arrows[] = {0xF700, 0xF701, 0xF702, 0xF703};
  const Flags pressed[] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  for (int i = 0; i < 4; ++i) {
    InputManager input;
    input.onKeyDown(functionKey(arrows[i]));
    EXPECT_EQ(flagsOf(input), pressed[i]) << i;
    input.onKeyUp(functionKey(arrows[i]));
    EXPECT_EQ(flagsOf(input), (Flags{0, 0, 0, 0})) << i;
  }
}

TEST(InputManager, IgnoresKeysThatAreNotArrows) {
  InputManager input;
  input.onKeyDown(KeyEvent{0, u"\uF702"});              // arrow code without the function-key bit
  input.onKeyDown(functionKey(0xF704));                 // just above the arrows (F1)
  input.onKeyDown(functionKey(0xF6FF));                 // just below
  input.onKeyDown(KeyEvent{0, u"a"});                   // a letter
  input.onKeyDown(KeyEvent{0, u" "});                   // space
  input.onKeyDown(KeyEvent{KeyEvent::FunctionKeyMask, u""});  // no character at all
  EXPECT_EQ(flagsOf(input), (Flags{0, 0, 0, 0}));
}

TEST(InputManager, OnlyTheFirstCharacterAndTheFunctionBitCount) {
  InputManager input;
  input.onKeyDown(KeyEvent{KeyEvent::FunctionKeyMask | KeyEvent::ShiftKeyMask | KeyEvent::CommandKeyMask,
                           u"\uF700\uF701"});
  EXPECT_EQ(flagsOf(input), (Flags{1, 0, 0, 0}));
}

TEST(InputManager, OppositeArrowsHeldTogetherBothStaySet) {
  InputManager input;
  input.onKeyDown(functionKey(0xF702));
  input.onKeyDown(functionKey(0xF703));
  EXPECT_EQ(flagsOf(input), (Flags{0, 0, 1, 1}));
}

TEST(InputManager, AutoRepeatThenOneReleaseClears) {
  InputManager input;
  for (int i = 0; i < 10; ++i) input.onKeyDown(functionKey(0xF703));
  input.onKeyUp(functionKey(0xF703));
  EXPECT_EQ(input.keyRight, 0);
  input.onKeyUp(functionKey(0xF703));  // releasing a released key stores 0 again
  EXPECT_EQ(input.keyRight, 0);
}

}  // namespace
