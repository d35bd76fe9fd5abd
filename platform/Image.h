#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A decoded picture in the layout the texture loader takes: 8-bit samples interleaved R, G, B
// (and A when hasAlpha), rows from the top of the picture down, bytesPerRow bytes apart (a row
// may carry bytes beyond its pixels).
struct Image {
  bool hasAlpha = false;
  int bitsPerPixel = 0;  // 24 for RGB, 32 for RGBA
  size_t bytesPerRow = 0;
  int pixelsWide = 0;
  int pixelsHigh = 0;
  std::vector<uint8_t> pixels;
};

// No side of a decoded image is longer: it bounds the memory a file can make us allocate.
constexpr int kMaxImageSide = 16384;

// Decodes a PNG file into 8-bit RGB or RGBA; a palette becomes RGB, or RGBA when it carries
// transparency. No image for a missing, unreadable, truncated or corrupt file, for grey or
// 16-bit pictures, and for a side longer than kMaxImageSide.
std::unique_ptr<Image> decodeImage(const std::string& path);
