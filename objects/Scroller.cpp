#include "objects/Scroller.h"

#include "objects/ScrollText.h"
#include "objects/SpriteQuad.h"

namespace {
constexpr int kCentreCell = 40;
constexpr float kLineHeight = 4.0f;
constexpr float kLineDepth = -6.0f;
constexpr float kGlyphHeightScale = 0.8f;  // glyphs 1.6 units high
constexpr float kNarrowWidthScale = 0.3f;  // 'I' is 0.6 units wide
constexpr float kWidthScale = 0.5f;        // every other glyph 1.0 unit
constexpr double kColumnToTexture = 0.001953125;  // 1 / 512, the strip's width
}  // namespace

namespace {
// Walks the 80 cells, calling draw(i, c) for each visible character. Meeting the end marker
// restarts the line: scrollpos becomes 0 and the remaining cells read from the start.
template <typename DrawCell>
void eachScrollCell(int32_t& scrollpos, DrawCell draw) {
  for (int i = 0; i < kScrollCells; ++i) {
    const int64_t index = int64_t{scrollpos} + i;
    // Past the marker (only after updates without a frame in between) counts as the marker, so
    // the line never reads outside the message.
    const char c = index >= 0 && index <= kScrollTextMarkerIndex ? scrolltext[index]
                                                                : scrolltext_rules::kEndMarker;
    if (c == ' ') continue;
    if (c == scrolltext_rules::kEndMarker) {
      scrollpos = 0;
      continue;
    }
    draw(i, c);
  }
}
}  // namespace

void drawScrollLine(GLuint fontTexture, int32_t& scrollpos, float scrollcalc) {
  glBindTexture(GL_TEXTURE_2D, fontTexture);
  eachScrollCell(scrollpos, [scrollcalc](int i, char c) {
    const int g = glyphCell(c);
    const float u0 = static_cast<float>(CharacterOffsets[g] * kColumnToTexture);
    const float u1 = static_cast<float>(CharacterOffsets[g + 1] * kColumnToTexture);
    const double x = static_cast<double>(i - kCentreCell) - static_cast<double>(scrollcalc);

    glPushMatrix();
    glTranslatef(static_cast<float>(x), kLineHeight, kLineDepth);
    glScalef(c == 'I' ? kNarrowWidthScale : kWidthScale, kGlyphHeightScale, 1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawSpriteQuad(u0, u1, -1.0f, 1.0f, -1.0f, 1.0f);
    glPopMatrix();
  });
}
