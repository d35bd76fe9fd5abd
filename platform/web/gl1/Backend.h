#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace gl1 {

// A vertex as it is drawn: already in clip space, with its colour and texture coordinate.
struct Vertex {
  std::array<float, 4> position;
  std::array<float, 4> colour;
  std::array<float, 2> texCoord;
};

// What a draw needs beyond its vertices: what the shaders cannot carry per vertex.
struct DrawState {
  GLuint texture = 0;  // 0 draws plain colour
  bool blend = false;
  GLenum blendSource = GL_ONE;
  GLenum blendDestination = GL_ZERO;
  bool depthTest = false;
  bool cullFace = false;
  bool operator==(const DrawState&) const = default;
};

// A run of triangle indices drawn in one state.
struct Draw {
  uint32_t firstIndex;
  uint32_t indexCount;
  DrawState state;
};

// The bytes a pixel of `format` takes; 0 for a format WebGL does not take.
inline size_t bytesPerPixel(GLenum format) {
  switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_LUMINANCE:
    case GL_ALPHA: return 1;
    default: return 0;
  }
}

// Where the layer's work goes: WebGL in the page, a recorder in tests and benchmarks.
class Backend {
 public:
  virtual ~Backend() = default;
  // The draws in order, over these vertices and triangle indices.
  virtual void draw(std::span<const Vertex> vertices, std::span<const uint16_t> indices,
                    std::span<const Draw> draws) = 0;
  virtual void clear(GLbitfield mask, const std::array<float, 4>& colour) = 0;
  virtual void viewport(GLint x, GLint y, GLsizei width, GLsizei height) = 0;
  // Level 0 of a texture, rows tightly packed, bottom row first.
  virtual void textureImage(GLuint texture, GLsizei width, GLsizei height, GLenum format, const uint8_t* pixels) = 0;
  virtual void textureParameter(GLuint texture, GLenum name, GLint value) = 0;
  virtual GLint maxTextureSize() = 0;
  virtual void finish() = 0;
  // The context went, and came back with none of its objects: made again from what was given.
  virtual void contextLost() {}
  virtual void contextRestored() {}
};

}  // namespace gl1
