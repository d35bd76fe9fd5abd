#pragma once

#include <GL/gl.h>

#include <cstdint>

#include "objects/ScrollText.h"

inline constexpr int kScrollCells = 80;

// Draws the scroller's 80 cells, one world unit apart at height 4 and depth -6, cell 40 near
// x = 0, shifted left by scrollcalc. Cell i shows the message character at scrollpos + i.
// Meeting the end marker sets scrollpos to 0, and the remaining cells read from the start.
// Expects texturing and blending on; binds fontTexture for all cells; leaves the colour white.
void drawScrollLine(GLuint fontTexture, int32_t& scrollpos, float scrollcalc);

// What drawing the line does to scrollpos, without drawing it: a frame that is stepped over. The
// line meets the end marker (or, before the message, reads it) exactly when one of its cells
// falls outside the message's text.
inline void passScrollLine(int32_t& scrollpos) {
  if (scrollpos < 0 || scrollpos > kScrollTextMarkerIndex - kScrollCells) scrollpos = 0;
}
