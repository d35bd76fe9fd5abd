#pragma once

// Small PNG files written on the fly for the image and texture tests.

#include <png.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testpng {

// A per-process name in the temp folder; the files are removed when the tests end.
inline std::string path(const std::string& name) {
  struct Cleanup {
    std::vector<std::string> files;
    ~Cleanup() { for (const std::string& file : files) std::remove(file.c_str()); }
  };
  static Cleanup cleanup;
  std::string full = testing::TempDir() + "disco-" + std::to_string(getpid()) + "-" + name;
  cleanup.files.push_back(full);
  return full;
}

// Writes rows top first with libpng's simplified writer (format: a PNG_FORMAT_* value; for a
// colormap format one index per pixel). Returns the path.
inline std::string write(const std::string& name, int width, int height, unsigned format,
                         const std::vector<uint8_t>& pixels, const std::vector<uint8_t>& colormap = {}) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width), image.height = png_uint_32(height), image.format = format;
  image.colormap_entries = png_uint_32(colormap.size() / PNG_IMAGE_SAMPLE_CHANNELS(format));
  const std::string file = path(name);
  EXPECT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, pixels.data(), 0,
                                      colormap.empty() ? nullptr : colormap.data())) << name;
  return file;
}

// Every texel tells where it came from: R = column, G = row from the top, B = 7, A = 255 - column.
inline std::vector<uint8_t> coordinates(int width, int height, int channels) {
  std::vector<uint8_t> out;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      out.insert(out.end(), {uint8_t(column), uint8_t(row), 7});
      if (channels == 4) out.push_back(uint8_t(255 - column));
    }
  return out;
}

}  // namespace testpng
