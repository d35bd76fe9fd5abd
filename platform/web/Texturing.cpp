// Texture calls as desktop GL takes them, turned into what WebGL 1 accepts.
#define DISCO_WEB_REAL_GL
#include "platform/web/Texturing.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

bool texturingWanted = false;
GLuint bound = 0;
std::set<GLuint> withPicture;
GLint unpackRowLength = 0;  // WebGL 1 has no GL_UNPACK_ROW_LENGTH: rows are packed here instead
GLint unpackAlignment = 4;

size_t bytesPerPixel(GLenum format) {
  switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
  }
}

size_t alignUp(size_t bytes, GLint alignment) {
  const size_t a = alignment > 0 ? static_cast<size_t>(alignment) : 1;
  return (bytes + a - 1) / a * a;
}

}  // namespace

namespace web {

void applyTexturing() {
  if (texturingWanted && withPicture.count(bound)) {
    glEnable(GL_TEXTURE_2D);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
}

}  // namespace web

extern "C" {

void discoEnable(GLenum cap) {
  if (cap == GL_TEXTURE_2D) {
    texturingWanted = true;
    return;
  }
  glEnable(cap);
}

void discoDisable(GLenum cap) {
  if (cap == GL_TEXTURE_2D) {
    texturingWanted = false;
    return;
  }
  glDisable(cap);
}

void discoBindTexture(GLenum target, GLuint texture) {
  if (target == GL_TEXTURE_2D) bound = texture;
  glBindTexture(target, texture);
}

void discoPixelStorei(GLenum name, GLint value) {
  if (name == GL_UNPACK_ROW_LENGTH) {
    unpackRowLength = value;
    return;
  }
  if (name == GL_UNPACK_ALIGNMENT) unpackAlignment = value;
  glPixelStorei(name, value);
}

void discoTexParameteri(GLenum target, GLenum name, GLint value) {
  // GL_CLAMP is gone from WebGL; clamping to the edge is the nearest it has.
  if (value == GL_CLAMP) value = GL_CLAMP_TO_EDGE;
  glTexParameteri(target, name, value);
}

void discoTexEnvf(GLenum target, GLenum name, GLfloat value) {
  // The emulation takes the texture function only as an integer.
  if (name == GL_TEXTURE_ENV_MODE) {
    glTexEnvi(target, name, static_cast<GLint>(value));
    return;
  }
  glTexEnvf(target, name, value);
}

void discoTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                     GLint border, GLenum format, GLenum type, const void* pixels) {
  if (target == GL_TEXTURE_2D && width > 0 && height > 0) withPicture.insert(bound);
  const size_t pixel = bytesPerPixel(format);
  const size_t packedRow = alignUp(static_cast<size_t>(width) * pixel, unpackAlignment);
  const size_t sourceRow = alignUp(static_cast<size_t>(unpackRowLength) * pixel, unpackAlignment);
  if (!pixels || type != GL_UNSIGNED_BYTE || unpackRowLength <= width || height <= 0) {
    glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
    return;
  }
  // Longer source rows than the upload: copy the leading part of each into rows of its own width.
  std::vector<uint8_t> packed(packedRow * static_cast<size_t>(height));
  const auto* source = static_cast<const uint8_t*>(pixels);
  for (size_t row = 0; row < static_cast<size_t>(height); ++row)
    std::memcpy(packed.data() + row * packedRow, source + row * sourceRow, static_cast<size_t>(width) * pixel);
  glTexImage2D(target, level, internalFormat, width, height, border, format, type, packed.data());
}

}  // extern "C"
