// PNG files decoded into 8-bit RGB or RGBA, and files refused without a crash.
#include <gtest/gtest.h>

#include <fstream>

#include "TestPng.h"
#include "platform/Image.h"

namespace {

TEST(TextureDecode, PaletteIsExpandedToRgbOrRgba) {
  const std::vector<uint8_t> indices = {0, 1, 2, 1};
  const auto rgb = decodeImage(testpng::write("palette.png", 2, 2, PNG_FORMAT_RGB_COLORMAP, indices,
                                              {10, 20, 30, 40, 50, 60, 70, 80, 90}));
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->bitsPerPixel, 24);
  EXPECT_EQ(rgb->pixels, (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 40, 50, 60}));

  const auto rgba = decodeImage(testpng::write("palette-alpha.png", 2, 2, PNG_FORMAT_RGBA_COLORMAP, indices,
                                               {10, 20, 30, 255, 40, 50, 60, 0, 70, 80, 90, 128}));
  ASSERT_TRUE(rgba);
  EXPECT_TRUE(rgba->hasAlpha);
  EXPECT_EQ(rgba->bitsPerPixel, 32);
  EXPECT_EQ(rgba->bytesPerRow, 8u);
  EXPECT_EQ(rgba->pixels, (std::vector<uint8_t>{10, 20, 30, 255, 40, 50, 60, 0, 70, 80, 90, 128, 40, 50, 60, 0}));
}

TEST(TextureDecode, RefusesGreySixteenBitOversizedAndDamagedFiles) {
  auto plain = [](const char* name, unsigned format, int width, int height) {
    return testpng::write(name, width, height, format,
                          std::vector<uint8_t>(size_t(PNG_IMAGE_PIXEL_SIZE(format)) * width * height, 0x55));
  };
  const std::string good = plain("good.png", PNG_FORMAT_RGB, 64, 64);
  ASSERT_TRUE(decodeImage(good));
  ASSERT_TRUE(decodeImage(plain("widest.png", PNG_FORMAT_RGB, kMaxImageSide, 1)));

  std::ifstream in(good, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto damaged = [](const char* name, const std::string& content) {
    const std::string file = testpng::path(name);
    std::ofstream(file, std::ios::binary) << content;
    return file;
  };
  std::string flipped = bytes;
  flipped[bytes.size() - 20] ^= 0x5A;  // inside the image data: its checksum no longer matches

  for (const std::string& file : {
           plain("grey.png", PNG_FORMAT_GRAY, 4, 4), plain("grey-alpha.png", PNG_FORMAT_GA, 4, 4),
           plain("rgb16.png", PNG_FORMAT_LINEAR_RGB, 4, 4), plain("rgba16.png", PNG_FORMAT_LINEAR_RGB_ALPHA, 4, 4),
           plain("too-wide.png", PNG_FORMAT_RGB, kMaxImageSide + 1, 1),
           plain("too-tall.png", PNG_FORMAT_RGB, 1, kMaxImageSide + 1),
           damaged("truncated.png", bytes.substr(0, bytes.size() / 2)), damaged("corrupt.png", flipped),
           damaged("text.png", "not a png"), damaged("empty.png", ""), testpng::path("absent.png")})
    EXPECT_FALSE(decodeImage(file)) << file;
}

}  // namespace
