// The web page's GL 1.x layer: what it hands WebGL, and when.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/web/gl1/FixedFunction.h"
#include "platform/web/gl1/Report.h"

namespace {

using gl1::Draw;

struct Recorded {
  std::vector<std::string> log;  // "draw", "clear", "viewport", "image", "parameter", "finish"
  std::vector<std::vector<Draw>> batches;
  std::vector<std::vector<gl1::Vertex>> vertices;
  std::vector<std::vector<uint16_t>> indices;
  std::vector<uint8_t> pixels;
};

class Recorder : public gl1::Backend {
 public:
  explicit Recorder(Recorded& out) : out_(out) {}
  void draw(std::span<const gl1::Vertex> v, std::span<const uint16_t> i, std::span<const Draw> d) override {
    out_.log.push_back("draw");
    out_.batches.emplace_back(d.begin(), d.end());
    out_.vertices.emplace_back(v.begin(), v.end());
    out_.indices.emplace_back(i.begin(), i.end());
  }
  void clear(GLbitfield, const std::array<float, 4>&) override { out_.log.push_back("clear"); }
  void viewport(GLint, GLint, GLsizei, GLsizei) override { out_.log.push_back("viewport"); }
  void textureImage(GLuint, GLsizei w, GLsizei h, GLenum, const uint8_t* p) override {
    out_.log.push_back("image");
    out_.pixels.assign(p, p + w * h * 4);
  }
  void textureParameter(GLuint, GLenum, GLint) override { out_.log.push_back("parameter"); }
  GLint maxTextureSize() override { return 4096; }
  void finish() override { out_.log.push_back("finish"); }

 private:
  Recorded& out_;
};

class WebGlLayer : public ::testing::Test {
 protected:
  Recorded out;
  gl1::FixedFunction gl{std::make_unique<Recorder>(out)};

  // A texture with a 1 x 1 picture.
  GLuint texture() {
    GLuint name = 0;
    gl.genTextures(1, &name);
    gl.bindTexture(GL_TEXTURE_2D, name);
    const uint8_t pixel[4] = {255, 255, 255, 255};
    gl.texImage(GL_TEXTURE_2D, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return name;
  }
  void quad(GLenum mode = GL_QUADS, int count = 4) {
    gl.begin(mode);
    for (int i = 0; i < count; ++i) gl.vertex(static_cast<float>(i % 2), static_cast<float>(i / 2), 0.0f);
    gl.end();
  }
  std::vector<std::string> logWithout(const std::string& dropped) {
    std::vector<std::string> kept;
    for (const auto& line : out.log) if (line != dropped) kept.push_back(line);
    return kept;
  }
};

TEST_F(WebGlLayer, DrawsOncePerRunOfTextureBlendingDepthAndCulling) {
  const GLuint tile = texture(), disc = texture();
  const GLuint empty = 99;  // never given a picture: plain colour, as desktop GL draws it
  gl.setEnabled(GL_DEPTH_TEST, true);
  gl.clear(GL_COLOR_BUFFER_BIT);
  gl.setEnabled(GL_TEXTURE_2D, true);
  gl.setEnabled(GL_BLEND, true);
  gl.blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.bindTexture(GL_TEXTURE_2D, tile);
  for (int i = 0; i < 3; ++i) gl.colour(0.1f * i, 0, 0, 1), quad();
  gl.bindTexture(GL_TEXTURE_2D, disc);
  quad();
  gl.bindTexture(GL_TEXTURE_2D, disc);
  gl.blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  quad();
  gl.bindTexture(GL_TEXTURE_2D, empty);
  quad();
  gl.setEnabled(GL_BLEND, false);
  gl.blendFunc(GL_ONE, GL_ONE);  // no matter while blending is off
  quad();
  gl.setEnabled(GL_CULL_FACE, true);
  quad();
  gl.setEnabled(GL_BLEND, true);
  quad();
  gl.flush();

  ASSERT_EQ(out.batches.size(), 1u);
  const std::vector<Draw>& draws = out.batches[0];
  ASSERT_EQ(draws.size(), 6u);
  const std::vector<std::array<unsigned, 6>> expected = {
      // first index, count, texture, blend, depth test, cull
      {0, 18, tile, 1, 1, 0}, {18, 12, disc, 1, 1, 0}, {30, 6, 0, 1, 1, 0},
      {36, 6, 0, 0, 1, 0},    {42, 6, 0, 0, 1, 1},     {48, 6, 0, 1, 1, 1}};
  for (size_t i = 0; i < draws.size(); ++i) {
    const Draw& d = draws[i];
    EXPECT_EQ((std::array<unsigned, 6>{d.firstIndex, d.indexCount, d.state.texture, d.state.blend,
                                       d.state.depthTest, d.state.cullFace}),
              expected[i]) << "draw " << i;
  }
  EXPECT_EQ(draws[0].state.blendSource, GL_SRC_ALPHA);
  EXPECT_EQ(draws[5].state.blendSource, GL_ONE);
  EXPECT_EQ(out.vertices[0][8].colour[0], 0.2f);  // every vertex keeps its own colour
}

TEST_F(WebGlLayer, DrawsWhatCameBeforeAnythingThatDependsOnIt) {
  const GLuint name = texture();
  gl.setEnabled(GL_TEXTURE_2D, true);
  quad();
  gl.texParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  quad();
  gl.bindTexture(GL_TEXTURE_2D, name);
  const uint8_t pixel[4] = {};
  gl.texImage(GL_TEXTURE_2D, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  quad();
  gl.viewport(0, 0, 8, 8);
  quad();
  gl.clear(GL_COLOR_BUFFER_BIT);
  gl.finish();
  gl.finish();
  EXPECT_EQ(out.log, (std::vector<std::string>{"image", "draw", "parameter", "draw", "image", "draw", "viewport",
                                               "draw", "clear", "finish", "finish"}));
}

TEST_F(WebGlLayer, PrimitivesBecomeTrianglesWoundAsGLWindsThem) {
  quad(GL_QUADS, 6);  // the unfinished second quad is left out
  quad(GL_TRIANGLE_STRIP, 5);
  quad(GL_TRIANGLE_FAN, 4);
  quad(GL_QUAD_STRIP, 6);
  quad(GL_POINTS, 3);  // neither drawn nor uploaded
  quad(GL_LINES, 2);
  gl.flush();
  EXPECT_EQ(out.vertices[0].size(), 21u);
  EXPECT_EQ(out.indices[0], (std::vector<uint16_t>{0, 1, 2, 0, 2, 3,                 // quad
                                                   6, 7, 8, 8, 7, 9, 8, 9, 10,       // strip
                                                   11, 12, 13, 11, 13, 14,           // fan
                                                   15, 16, 18, 15, 18, 17, 17, 18, 20, 17, 20, 19}));  // quad strip
}

TEST_F(WebGlLayer, VerticesGoThroughProjectionTimesTheModelviewStack) {
  gl.matrixMode(GL_PROJECTION);
  gl.scale(2.0f, 2.0f, 1.0f);
  gl.matrixMode(GL_MODELVIEW);
  gl.translate(1.0f, 0.0f, 0.0f);
  gl.pushMatrix();
  gl.rotate(90.0f, 0.0f, 0.0f, 1.0f);  // after the translation: about the moved origin
  gl.begin(GL_TRIANGLES);
  gl.vertex(1.0f, 0.0f, 0.0f);
  gl.end();
  gl.popMatrix();
  for (int i = 0; i < 40; ++i) gl.popMatrix();  // more pops than pushes change nothing
  gl.begin(GL_TRIANGLES);
  gl.vertex(1.0f, 0.0f, 0.0f);
  for (int i = 0; i < 40; ++i) gl.pushMatrix();  // nor do pushes past the stack's depth
  gl.translate(5.0f, 0.0f, 0.0f);
  for (int i = 0; i < 40; ++i) gl.popMatrix();
  gl.vertex(1.0f, 0.0f, 0.0f);
  gl.vertex(1.0f, 0.0f, 0.0f);
  gl.end();
  gl.flush();
  // One vertex alone makes no triangle; the three after it do.
  ASSERT_EQ(out.vertices.size(), 1u);
  EXPECT_EQ(out.vertices[0][0].position, (std::array<float, 4>{2.0f, 2.0f, 0.0f, 1.0f}));
  EXPECT_EQ(out.vertices[0][1].position, (std::array<float, 4>{4.0f, 0.0f, 0.0f, 1.0f}));
  EXPECT_EQ(out.vertices[0][2].position, out.vertices[0][1].position);
}

TEST_F(WebGlLayer, AFullBatchIsDrawnBeforeThePrimitiveThatWouldOverflowItsIndices) {
  for (int i = 0; i < 16384; ++i) quad();  // 65536 vertices: as many as 16-bit indices reach
  quad(GL_TRIANGLES, 3);
  gl.flush();
  ASSERT_EQ(out.vertices.size(), 2u);
  EXPECT_EQ(out.vertices[0].size(), 65536u);
  EXPECT_EQ(out.indices[0].back(), 65535);
  EXPECT_EQ(out.indices[1], (std::vector<uint16_t>{0, 1, 2}));
}

TEST_F(WebGlLayer, TexturesArriveAsTightRowsWhateverTheUnpackingRows) {
  GLuint name = 0;
  gl.genTextures(1, &name);
  gl.bindTexture(GL_TEXTURE_2D, name);
  gl.pixelStore(GL_UNPACK_ALIGNMENT, 1);
  gl.pixelStore(GL_UNPACK_ROW_LENGTH, 3);  // two pixels of each three-pixel row
  std::vector<uint8_t> rows(2 * 3 * 4);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i);
  gl.texImage(GL_TEXTURE_2D, 0, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  EXPECT_EQ(out.pixels, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15, 16, 17, 18, 19}));

  // Pixels WebGL does not take are refused, and said, not read as bytes of another format.
  std::vector<std::string> said;
  gl1::setReport([&said](const std::string& line) { said.push_back(line); });
  gl.texImage(GL_TEXTURE_2D, 0, 2, 2, 0x80E1 /* BGRA */, GL_UNSIGNED_BYTE, rows.data());
  gl1::setReport(nullptr);
  EXPECT_EQ(std::count(out.log.begin(), out.log.end(), "image"), 1);
  EXPECT_EQ(said, (std::vector<std::string>{"a texture of pixel format 0x80E1 is left out: WebGL takes no such pixels"}));
}

}  // namespace
