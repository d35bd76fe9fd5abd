#include "support/TextureFromImage.h"

#include <GL/gl.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "platform/Image.h"
#include "support/Log.h"
#include "support/PowerOf2.h"

namespace {

// Longest side we upload: the GL's limit, and never above what the decoder hands out.
GLint maxSide() {
  GLint max = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  return max > 0 && max < kMaxImageSide ? max : kMaxImageSide;
}

// True when every row the copy and the upload read lies inside the pixel bytes, and the sizes
// fit the types GL takes. Images handed in from outside are not trusted to be consistent.
bool sizesAreSafe(const Image& image, size_t bytesPerPixel) {
  if (image.pixelsWide <= 0 || image.pixelsHigh <= 0) return false;
  const GLint limit = maxSide();
  if (image.pixelsWide > limit || image.pixelsHigh > limit) return false;
  const size_t rowPixels = image.bytesPerRow / bytesPerPixel;
  if (rowPixels < static_cast<size_t>(image.pixelsWide) || rowPixels > INT_MAX) return false;
  const size_t rows = static_cast<size_t>(image.pixelsHigh);
  if (image.bytesPerRow > SIZE_MAX / rows) return false;
  return image.pixels.size() >= image.bytesPerRow * rows;
}

}  // namespace

bool TextureFromImage(const Image* image, unsigned long* textureName, unsigned long* width,
                      unsigned long* height) {
  // An absent image counts as one without alpha and with 0 bits per pixel: refused below.
  const bool hasAlpha = image && image->hasAlpha;
  const int bitsPerPixel = image ? image->bitsPerPixel : 0;
  if (hasAlpha ? bitsPerPixel != 32 : bitsPerPixel != 24) return false;
  const GLenum format = hasAlpha ? GL_RGBA : GL_RGB;
  const size_t bytesPerPixel = hasAlpha ? 4 : 3;
  if (!sizesAreSafe(*image, bytesPerPixel)) return false;

  // GL takes the bottom row first; copying rows in reverse keeps the picture upright. Staging
  // rows are whole pixels apart, as GL_UNPACK_ROW_LENGTH tells GL: a bitmap row whose length is
  // not a multiple of the pixel size loses its last partial pixel instead of shearing the picture.
  const size_t rowPixels = image->bytesPerRow / bytesPerPixel;
  const size_t stagingRow = rowPixels * bytesPerPixel;
  const size_t rows = static_cast<size_t>(image->pixelsHigh);
  std::vector<uint8_t> staging;
  try {
    staging.resize(stagingRow * rows);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t i = 0; i < rows; ++i)
    std::memcpy(staging.data() + i * stagingRow, image->pixels.data() + (rows - 1 - i) * image->bytesPerRow,
                stagingRow);

  GLuint name = 0;
  glGenTextures(1, &name);
  *textureName = name;
  Log("%X\n", name);
  glBindTexture(GL_TEXTURE_2D, name);

  // Whole bitmap rows, but only power-of-two sides uploaded: that crops to the bottom-left block.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowPixels));
  *width = truncPowerOf2(static_cast<unsigned int>(image->pixelsWide));
  *height = truncPowerOf2(static_cast<unsigned int>(image->pixelsHigh));

  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  // Context state, not texture state: from here on the current colour tints every textured draw.
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), static_cast<GLsizei>(*width),
               static_cast<GLsizei>(*height), 0, format, GL_UNSIGNED_BYTE, staging.data());
  return true;
}
