// Loading picture files into GL textures under numbers: calls, texels, refusals.
#include <gtest/gtest.h>

#include <climits>

#include "TestPng.h"
#include "gl_recorder/GLRecorder.h"
#include "platform/Image.h"
#include "support/OpenGLTexture.h"
#include "support/PowerOf2.h"
#include "support/TextureFromImage.h"

namespace {

// Rows bottom first, `width` columns of each: what GL should hold of a tightly packed picture.
std::vector<uint8_t> bottomLeft(const std::vector<uint8_t>& picture, int pictureW, int pictureH, int width,
                                int height, int channels) {
  std::vector<uint8_t> out;
  for (int t = 0; t < height; ++t) {
    const auto row = picture.begin() + (pictureH - 1 - t) * pictureW * channels;
    out.insert(out.end(), row, row + width * channels);
  }
  return out;
}

std::vector<std::string> callTexts() {
  std::vector<std::string> out;
  for (const gl::Call& call : gl::calls()) out.push_back(call.str());
  return out;
}

struct TextureLoad : ::testing::Test {
  void SetUp() override {
    gl::reset();
    gl::state().texEnvMode = GL_REPLACE;  // so the load's own setting shows
  }
  void TearDown() override { gl::state().maxTextureSize = 16384; }
  OpenGLTexture registry;
};

TEST_F(TextureLoad, PowerOfTwoRgbaIsUploadedWholeAndUpright) {
  const auto picture = testpng::coordinates(256, 256, 4);
  const std::string file = testpng::write("rgba.png", 256, 256, PNG_FORMAT_RGBA, picture);
  gl::state().nextTextureName = 0xAB;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(registry.loadTexture(file, 7));
  const std::string log = testing::internal::GetCapturedStderr();

  EXPECT_EQ(registry.getTextureName(7), 0xABu);
  EXPECT_EQ(log.substr(log.find("] ")), "] AB\n");  // one line, upper-case hexadecimal
  EXPECT_EQ(callTexts(), (std::vector<std::string>{
                             "glGetIntegerv(GL_MAX_TEXTURE_SIZE)",  // the size limit
                             "glGenTextures(1)", "glBindTexture(GL_TEXTURE_2D, 171)", "glPixelStorei(GL_UNPACK_ALIGNMENT, 1)",
                             "glPixelStorei(GL_UNPACK_ROW_LENGTH, 256)", "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)",
                             "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR)", "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP)",
                             "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP)", "glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE)",
                             "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE)"}));
  // Texture row 0 (t = 0) is the picture's bottom row: the top stands at t = 1.
  EXPECT_EQ(gl::calls().back().pixels, bottomLeft(picture, 256, 256, 256, 256, 4));
  EXPECT_EQ(gl::state().texEnvMode, GL_MODULATE);
}

TEST_F(TextureLoad, OtherSidesAreCroppedToTheBottomLeftBlock) {
  const auto picture = testpng::coordinates(300, 200, 3);
  ASSERT_TRUE(registry.loadTexture(testpng::write("rgb.png", 300, 200, PNG_FORMAT_RGB, picture), 1));
  EXPECT_EQ(gl::state().unpackRowLength, 300);
  const gl::Call upload = gl::callsNamed("glTexImage2D").at(0);
  EXPECT_EQ(upload.str(), "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 128, 0, GL_RGB, GL_UNSIGNED_BYTE)");
  EXPECT_EQ(upload.pixels, bottomLeft(picture, 300, 200, 256, 128, 3));  // rows 199 down to 72

  unsigned long name, width, height;
  const Image image{false, 24, 900, 300, 200, picture};
  ASSERT_TRUE(TextureFromImage(&image, &name, &width, &height));
  EXPECT_EQ(width * 1000 + height, 256128u);
  EXPECT_EQ(truncPowerOf2(0) + truncPowerOf2(257) + truncPowerOf2(UINT_MAX), 1u + 256 + 0x80000000u);
}

TEST_F(TextureLoad, RowsWithExtraBytesKeepThePictureStraight) {
  // 5 x 4 RGB in rows of 17 bytes: 2 extra bytes, not a whole pixel.
  Image image{false, 24, 17, 5, 4, std::vector<uint8_t>(17 * 4, 0xEE)};
  for (int i = 0; i < 4 * 15; ++i) image.pixels[i / 15 * 17 + i % 15] = uint8_t(i / 15 * 16 + i % 15 / 3);
  unsigned long name, width, height;
  ASSERT_TRUE(TextureFromImage(&image, &name, &width, &height));
  EXPECT_EQ(gl::state().unpackRowLength, 5);  // 17 / 3, remainder dropped
  const std::vector<uint8_t> texels = gl::callsNamed("glTexImage2D").at(0).pixels;
  for (int t = 0; t < 4; ++t)
    for (int s = 0; s < 4; ++s) EXPECT_EQ(texels.at((t * 4 + s) * 3), (3 - t) * 16 + s) << s << "," << t;
}

TEST_F(TextureLoad, RefusalsStoreZeroMakeNoTextureAndSayNothing) {
  const Image good{true, 32, 16, 4, 4, std::vector<uint8_t>(64)};
  auto with = [&](auto change) { Image image = good; change(image); return image; };
  const Image refused[] = {
      with([](Image& i) { i.hasAlpha = false; }),  // 32 bits without alpha
      with([](Image& i) { i.bitsPerPixel = 24; }),  // 24 bits with alpha
      with([](Image& i) { i.pixelsWide = 0; }),
      with([](Image& i) { i.bytesPerRow = 15; }),   // rows shorter than the width
      with([](Image& i) { i.pixels.resize(63); }),  // fewer bytes than rows
      with([](Image& i) { i.bytesPerRow = SIZE_MAX / 2; }),
      with([](Image& i) { i.pixelsHigh = 65; i.pixels.resize(16 * 65); }),  // beyond the GL's limit below
  };
  gl::state().maxTextureSize = 64;
  unsigned long name = 9, width = 9, height = 9;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(TextureFromImage(nullptr, &name, &width, &height));
  for (const Image& image : refused) EXPECT_FALSE(TextureFromImage(&image, &name, &width, &height));
  EXPECT_FALSE(registry.loadTexture(testpng::path("absent.png"), 3));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(name + width + height, 27u);  // untouched
  EXPECT_TRUE(gl::callsNamed("glGenTextures").empty());
  EXPECT_TRUE(registry.holds(3));
  EXPECT_EQ(registry.getTextureName(3), 0u);
}

TEST_F(TextureLoad, NumbersReadZeroUntilLoadedAndLaterLoadsReplace) {
  const std::string file = testpng::write("small.png", 2, 2, PNG_FORMAT_RGBA, std::vector<uint8_t>(16));
  EXPECT_FALSE(registry.holds(5));
  EXPECT_EQ(registry.getTextureName(5), 0u);
  EXPECT_TRUE(registry.holds(5));  // the read stored it
  ASSERT_TRUE(registry.loadTexture(file, 5));
  ASSERT_TRUE(registry.loadTexture(file, 5));
  EXPECT_EQ(registry.getTextureName(5), 2u);
  EXPECT_TRUE(gl::callsNamed("glDeleteTextures").empty());  // the first stays allocated
}

}  // namespace
