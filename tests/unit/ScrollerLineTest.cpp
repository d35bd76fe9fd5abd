#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "DrawnQuads.h"
#include "objects/ScrollText.h"
#include "objects/Scroller.h"
#include "objects/Ventjes.h"

namespace {

constexpr GLuint kFont = 7;
const std::string kText = scrolltext;
const std::string kFirstFrame = std::string(72, ' ') + "WELCOME ";

// What the 80 cells show, read back from the drawn quads: the cell from where the glyph was
// moved, the character from its texture columns; checks every glyph's size, place and colour.
std::string drawLine(int32_t& scrollpos, float scrollcalc = 0.0f) {
  gl::reset();
  drawScrollLine(kFont, scrollpos, scrollcalc);
  EXPECT_EQ(gl::state().boundTexture2D, kFont);
  std::string cells(80, ' ');
  const std::vector<gl::Call> moves = gl::callsNamed("glTranslatef");
  const std::vector<DrawnQuad> quads = drawnQuads();
  for (size_t i = 0; i < quads.size(); ++i) {
    const DrawnQuad& q = quads[i];
    const double cell = moves[i].args[0] + 40 + scrollcalc;
    EXPECT_NEAR(cell, std::round(cell), 1e-5);
    char c = '?';
    for (int g = 0; g < 30; ++g)
      if (q.texCoords[0][0] * 512 == CharacterOffsets[g] && q.texCoords[1][0] * 512 == CharacterOffsets[g + 1])
        c = g == kFullStopCell ? '.' : char('A' + g);
    EXPECT_NEAR(q.width(), c == 'I' ? 0.6 : 1.0, 1e-6) << c;
    EXPECT_NEAR(q.corners[0][1], 4.8, 1e-6);
    EXPECT_NEAR(q.corners[3][1], 3.2, 1e-6);
    EXPECT_EQ(q.depth(), -6.0);
    EXPECT_EQ(q.colour, (std::array<double, 4>{1, 1, 1, 1}));
    cells.at(std::lround(cell)) = c;
  }
  return cells;
}

TEST(ScrollerLine, EveryFrameOfAPassShowsTheMessage) {
  int32_t scrollpos = 0;
  EXPECT_EQ(drawLine(scrollpos), kFirstFrame);
  for (int32_t start = 0; start < 991; ++start) {
    scrollpos = start;
    ASSERT_EQ(drawLine(scrollpos, 0.25f * (start % 4)), kText.substr(start, 80)) << start;
    ASSERT_EQ(scrollpos, start);
  }
}

TEST(ScrollerLine, TheEndMarkerStartsTheLineOver) {
  int32_t scrollpos = 991;  // the marker has reached cell 79
  EXPECT_EQ(drawLine(scrollpos), kText.substr(991, 79) + " ");
  EXPECT_EQ(scrollpos, 0);
  EXPECT_EQ(drawLine(scrollpos), kFirstFrame);
  // Cells after the marker read from the start of the message: here indices 71-79. A position
  // outside the message (only reachable by updates without frames) counts as the marker.
  for (int32_t start : {1000, 1071, 5000, -3}) {
    scrollpos = start;
    EXPECT_EQ(drawLine(scrollpos), kFirstFrame) << start;
    EXPECT_EQ(scrollpos, 0);
  }
  // A frame stepped over restarts the line exactly where a drawn one does.
  for (int32_t start = -2; start < 1100; ++start) {
    int32_t drawn = start, passed = start;
    drawLine(drawn);
    passScrollLine(passed);
    ASSERT_EQ(passed, drawn) << start;
  }
}

TEST(ScrollerLine, OnePassIs991Steps) {
  gl::reset();
  Ventjes ventjes;
  ventjes.prepare();
  int updates = 0, highest = 0;
  do {
    ventjes.updateWithDiffTime(0.25f);  // one cell
    ++updates;
    highest = std::max(highest, int(ventjes.getScrollpos()));
    gl::reset();
    ventjes.render();
  } while (ventjes.getScrollpos() != 0 && updates < 2000);
  EXPECT_EQ(updates, 991);  // 247.75 s
  EXPECT_EQ(highest, 991);
}

}  // namespace
