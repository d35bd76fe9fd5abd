// The floor's frame: geometry, colours, texture and the GL state it leaves behind.
#include <gtest/gtest.h>

#include "gl_recorder/GLRecorder.h"
#include "objects/DiscoFloor.h"
#include "objects/HSVtoRGB.h"
#include "support/OpenGLTexture.h"

namespace {

std::string text(const char* name, std::initializer_list<double> args) { return gl::Call{name, args, {}, {}}.str(); }

TEST(DiscoFloor, TenByTenFrameDrawsOneTintedQuadPerTile) {
  gl::reset();
  DiscoFloor floor(10, 10);
  testing::internal::CaptureStderr();
  floor.prepare();
  floor.prepare();  // does nothing more
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("] DiscoFloor\n"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;  // and the tile's texture name
  const GLuint texture = floor.getTextures()->getTextureName(DiscoFloor::kTileTexture);
  ASSERT_NE(texture, 0u) << "resources/tile.png did not load";

  gl::reset();
  floor.render();
  const auto& calls = gl::calls();
  ASSERT_EQ(calls.size(), 6 + 100 * 11 + 3u);
  const std::vector<std::string> head = {"glPushMatrix()", "glEnable(GL_TEXTURE_2D)", "glEnable(GL_BLEND)", "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)",
                                         text("glBindTexture", {3553, double(texture)}), "glTranslatef(-5, 0, -5)"};
  for (size_t i = 0; i < head.size(); ++i) EXPECT_EQ(calls[i].str(), head[i]);
  for (int tile = 0; tile < 100; ++tile) {
    const double x = tile % 10, z = tile / 10;
    float r, g, b;
    HSVtoRGB(&r, &g, &b, floor.getHues()[tile], 1.0f, 1.0f);
    const std::vector<std::string> quad = {
        "glBegin(GL_QUADS)", text("glColor3f", {r, g, b}),
        "glTexCoord2d(0, 1)", text("glVertex3f", {x, 0, z}), "glTexCoord2d(1, 1)", text("glVertex3f", {x, 0, z + 1}),
        "glTexCoord2d(1, 0)", text("glVertex3f", {x + 1, 0, z + 1}), "glTexCoord2d(0, 0)", text("glVertex3f", {x + 1, 0, z}),
        "glEnd()"};
    for (size_t i = 0; i < quad.size(); ++i) ASSERT_EQ(calls[6 + tile * 11 + i].str(), quad[i]) << "tile " << tile;
    EXPECT_EQ(std::max({r, g, b}) - std::min({r, g, b}), 1.0f) << "not fully saturated";
  }
  // Tile (0, 0) spans -5..-4 and tile (9, 9) 4..5 on both axes.
  EXPECT_EQ(calls[6 + 3].eye, (std::array<double, 3>{-5, 0, -5}));
  EXPECT_EQ(calls[6 + 99 * 11 + 7].eye, (std::array<double, 3>{5, 0, 5}));
  EXPECT_EQ(calls[calls.size() - 3].str(), "glDisable(GL_TEXTURE_2D)");
  EXPECT_EQ(calls[calls.size() - 2].str(), "glDisable(GL_BLEND)");
  EXPECT_EQ(calls.back().str(), "glPopMatrix()");

  // Left behind: the last tile's colour, the blend function, the tile texture bound.
  const gl::State& state = gl::state();
  float r, g, b;
  HSVtoRGB(&r, &g, &b, floor.getHues().back(), 1.0f, 1.0f);
  EXPECT_EQ(state.color, (std::array<double, 4>{r, g, b, 1}));
  EXPECT_EQ(state.blendSrc, GLenum(GL_SRC_ALPHA));
  EXPECT_EQ(state.blendDst, GLenum(GL_ONE_MINUS_SRC_ALPHA));
  EXPECT_EQ(state.boundTexture2D, texture);
  EXPECT_TRUE(state.enabled.empty());  // texturing and blending off again
}

TEST(DiscoFloor, OddEmptyAndUnpreparedFloors) {
  gl::reset();
  DiscoFloor(11, 11).render();  // not centred: spans -5 to 6
  EXPECT_EQ(gl::calls()[4].str(), "glBindTexture(GL_TEXTURE_2D, 0)");  // no texture before prepare
  EXPECT_EQ(gl::calls()[5].str(), "glTranslatef(-5, 0, -5)");
  EXPECT_EQ(gl::callsNamed("glVertex3f").back().eye, (std::array<double, 3>{6, 0, 5}));

  for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-3, 4}}) {
    gl::reset();
    DiscoFloor empty(w, h);
    empty.updateWithDiffTime(1.0f);
    empty.render();
    EXPECT_TRUE(gl::callsNamed("glBegin").empty()) << w << "x" << h;
    EXPECT_EQ(gl::calls().back().str(), "glPopMatrix()");
  }
}

}  // namespace
