// Decoded pictures whose fields disagree with one another (sizes, row length, pixel count, bits
// per pixel), straight into TextureFromImage: it must refuse what it cannot copy and upload
// safely, and never read outside the pixel bytes. The GL is the unit tests' recorder, which
// reads every texel the upload hands it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "GLRecorder.h"
#include "platform/Image.h"
#include "support/TextureFromImage.h"

namespace {
// Layout header at the start of the input; the rest are the pixel bytes.
struct Header {
  uint8_t flags;         // bit 0: hasAlpha
  uint8_t bitsPerPixel;  // any value, 24 and 32 most often meant
  uint16_t bytesPerRow;
  int16_t pixelsWide;    // negative and zero included
  int16_t pixelsHigh;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Header header;
  if (size < sizeof header) return 0;
  std::memcpy(&header, data, sizeof header);
  Image image;
  image.hasAlpha = header.flags & 1;
  image.bitsPerPixel = header.bitsPerPixel;
  image.bytesPerRow = header.bytesPerRow;
  image.pixelsWide = header.pixelsWide;
  image.pixelsHigh = header.pixelsHigh;
  image.pixels.assign(data + sizeof header, data + size);

  gl::reset();
  gl::state().maxTextureSize = 4096;
  unsigned long name = 0, width = 0, height = 0;
  const bool made = TextureFromImage(&image, &name, &width, &height);
  // A refusal writes nothing and makes no texture (asking GL its size limit is allowed).
  if (!made && (name || width || height || !gl::callsNamed("glGenTextures").empty() ||
                !gl::callsNamed("glTexImage2D").empty()))
    std::abort();
  if (made && (width == 0 || height == 0 || width > static_cast<unsigned long>(image.pixelsWide) ||
               height > static_cast<unsigned long>(image.pixelsHigh)))
    std::abort();
  return 0;
}
