#include <gtest/gtest.h>

#include <string>

#include "objects/ScrollText.h"

namespace {

using namespace scrolltext_rules;

std::string padded(const std::string& body, size_t leading = 72, size_t trailing = 71, const char* end = "|") {
  return std::string(leading, ' ') + body + std::string(trailing, ' ') + end;
}

// The compile-time check is what keeps the line inside the column table: it must refuse every
// character and layout the table cannot show.
TEST(ScrollerText, RulesRefuseWhatTheLineCannotShow) {
  for (const char* body : {"A.", "I.", "HELLO. WORLD.", "A.B."}) EXPECT_TRUE(isWellFormedMessage(padded(body))) << body;
  for (const char* body : {"", ".", " HI.", "HI  YOU.", "HI YOU", "HI. ", ".HI.", "Hi.", "H|I.", "HI, YOU.", "2."})
    EXPECT_FALSE(isWellFormedMessage(padded(body))) << '"' << body << '"';
  EXPECT_FALSE(isWellFormedMessage(padded("HI.", 71)));
  EXPECT_FALSE(isWellFormedMessage(padded("HI.", 72, 70)));
  EXPECT_FALSE(isWellFormedMessage(padded("HI.", 72, 71, "")));
  EXPECT_FALSE(isWellFormedMessage(padded("HI.", 72, 71, "|.")));

  EXPECT_TRUE(isWellFormedColumnTable(CharacterOffsets, 512));
  const int32_t flat[] = {0, 17, 17, 512}, falling[] = {0, 40, 30, 512}, late[] = {1, 17, 512};
  EXPECT_FALSE(isWellFormedColumnTable(flat, 512));
  EXPECT_FALSE(isWellFormedColumnTable(falling, 512));
  EXPECT_FALSE(isWellFormedColumnTable(late, 512));
  EXPECT_FALSE(isWellFormedColumnTable(CharacterOffsets, 511));
}

}  // namespace
