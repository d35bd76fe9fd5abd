// Images the browser decoded when the page loaded (page.js): the same bytes as the desktop's PNG
// decoder gives, with the same refusals (grey, 16-bit, too large), made there.
#include <new>

#include "platform/Image.h"
#include "platform/web/Page.h"

std::unique_ptr<Image> decodeImage(const std::string& path) {
  int info[3] = {0, 0, 0};  // width, height, channels
  if (!disco_image_info(path.c_str(), info)) return nullptr;
  const int channels = info[2];
  if (info[0] <= 0 || info[1] <= 0 || info[0] > kMaxImageSide || info[1] > kMaxImageSide) return nullptr;
  if (channels != 3 && channels != 4) return nullptr;
  auto image = std::unique_ptr<Image>(new (std::nothrow) Image);
  if (!image) return nullptr;
  image->hasAlpha = channels == 4;
  image->bitsPerPixel = channels * 8;
  image->pixelsWide = info[0];
  image->pixelsHigh = info[1];
  image->bytesPerRow = static_cast<size_t>(info[0]) * channels;
  try {
    image->pixels.resize(image->bytesPerRow * image->pixelsHigh);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  disco_image_copy(path.c_str(), image->pixels.data());
  return image;
}
