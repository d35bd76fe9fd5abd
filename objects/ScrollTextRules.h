#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The shape every scroller message must have, checked at compile time: the line draws any
// character it reads through the font's column table, so a stray character would index outside it.
namespace scrolltext_rules {

inline constexpr size_t kLeadingSpaces = 72;   // the line starts blank, the text enters at cell 72
inline constexpr size_t kTrailingSpaces = 71;  // the middle of the line is blank at the restart
inline constexpr char kEndMarker = '|';

constexpr bool isLetter(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool isGlyph(char c) { return isLetter(c) || c == '.'; }

// The text between the paddings: letters, '.' and single spaces; a letter first, '.' last.
constexpr bool isWellFormedBody(std::string_view body) {
  if (body.empty() || !isLetter(body.front()) || body.back() != '.') return false;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == ' ') {
      if (body[i - 1] == ' ') return false;  // i > 0: the first character is a letter
    } else if (!isGlyph(body[i])) {
      return false;
    }
  }
  return true;
}

// Leading spaces, a well-formed body, trailing spaces, and the end marker as the last character.
constexpr bool isWellFormedMessage(std::string_view text) {
  if (text.size() < kLeadingSpaces + kTrailingSpaces + 2 || text.back() != kEndMarker) return false;
  const std::string_view body = text.substr(kLeadingSpaces, text.size() - kLeadingSpaces - kTrailingSpaces - 1);
  for (size_t i = 0; i < kLeadingSpaces; ++i)
    if (text[i] != ' ') return false;
  for (size_t i = text.size() - 1 - kTrailingSpaces; i < text.size() - 1; ++i)
    if (text[i] != ' ') return false;
  return isWellFormedBody(body);
}

// Column table: strictly ascending from column 0 to the strip's right end.
template <size_t N>
constexpr bool isWellFormedColumnTable(const int32_t (&columns)[N], int32_t stripWidth) {
  if (N < 2 || columns[0] != 0 || columns[N - 1] != stripWidth) return false;
  for (size_t g = 1; g < N; ++g)
    if (columns[g] <= columns[g - 1]) return false;
  return true;
}

}  // namespace scrolltext_rules
