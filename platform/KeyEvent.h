#pragma once

#include <cstdint>
#include <string>

// A keyboard event in the desktop key model the input code understands: modifier flags with a
// function-key bit for non-text keys, and the characters the key produced, where the arrow keys
// produce the private-use code points 0xF700 (up) to 0xF703 (right).
struct KeyEvent {
  static constexpr uint32_t ShiftKeyMask = 1u << 17;
  static constexpr uint32_t ControlKeyMask = 1u << 18;
  static constexpr uint32_t AlternateKeyMask = 1u << 19;
  static constexpr uint32_t CommandKeyMask = 1u << 20;
  static constexpr uint32_t NumericPadKeyMask = 1u << 21;
  static constexpr uint32_t FunctionKeyMask = 1u << 23;

  static constexpr char16_t UpArrowFunctionKey = 0xF700;
  static constexpr char16_t DownArrowFunctionKey = 0xF701;
  static constexpr char16_t LeftArrowFunctionKey = 0xF702;
  static constexpr char16_t RightArrowFunctionKey = 0xF703;

  uint32_t modifierFlags = 0;
  std::u16string characters;
};
