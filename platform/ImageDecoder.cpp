#include <png.h>

#include <new>

#include "platform/Image.h"

namespace {

// Frees libpng's reader however decoding ends.
struct PngReader {
  png_image image{};
  PngReader() { image.version = PNG_IMAGE_VERSION; }
  ~PngReader() { png_image_free(&image); }
};

bool isAccepted(const png_image& image) {
  const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  const bool sixteenBit = (image.format & PNG_FORMAT_FLAG_LINEAR) != 0;
  return colour && !sixteenBit && image.width > 0 && image.height > 0 &&
         image.width <= static_cast<png_uint_32>(kMaxImageSide) &&
         image.height <= static_cast<png_uint_32>(kMaxImageSide);
}

}  // namespace

std::unique_ptr<Image> decodeImage(const std::string& path) {
  PngReader reader;
  if (!png_image_begin_read_from_file(&reader.image, path.c_str())) return nullptr;
  if (!isAccepted(reader.image)) return nullptr;

  // Palette entries and tRNS colour keys are expanded, so only RGB or RGBA comes out.
  const bool hasAlpha = (reader.image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  reader.image.format = hasAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  const int bytesPerPixel = hasAlpha ? 4 : 3;

  auto decoded = std::unique_ptr<Image>(new (std::nothrow) Image);
  if (!decoded) return nullptr;
  decoded->hasAlpha = hasAlpha;
  decoded->bitsPerPixel = bytesPerPixel * 8;
  decoded->pixelsWide = static_cast<int>(reader.image.width);
  decoded->pixelsHigh = static_cast<int>(reader.image.height);
  decoded->bytesPerRow = static_cast<size_t>(reader.image.width) * bytesPerPixel;
  try {
    decoded->pixels.resize(decoded->bytesPerRow * decoded->pixelsHigh);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // A truncated or corrupt stream makes libpng report failure here.
  if (!png_image_finish_read(&reader.image, nullptr, decoded->pixels.data(),
                             static_cast<png_int_32>(decoded->bytesPerRow), nullptr))
    return nullptr;
  return decoded;
}
