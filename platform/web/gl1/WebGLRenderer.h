#pragma once

#include <map>

#include "platform/web/gl1/Backend.h"

namespace gl1 {

// The layer's batches drawn with WebGL 1 (OpenGL ES 2, which desktop GL also takes): one buffer
// of vertices and one of indices per batch, a shader pair for textured and plain draws, and
// only the state that changed set between draws. Its GL objects are made in the context
// current when it first draws.
class WebGLRenderer : public Backend {
 public:
  WebGLRenderer() = default;
  ~WebGLRenderer() override;

  void draw(std::span<const Vertex> vertices, std::span<const uint16_t> indices, std::span<const Draw> draws) override;
  void clear(GLbitfield mask, const std::array<float, 4>& colour) override;
  void viewport(GLint x, GLint y, GLsizei width, GLsizei height) override;
  void textureImage(GLuint texture, GLsizei width, GLsizei height, GLenum format, const uint8_t* pixels) override;
  void textureParameter(GLuint texture, GLenum name, GLint value) override;
  GLint maxTextureSize() override;
  void finish() override;

 private:
  void prepare();
  GLuint glTexture(GLuint texture);
  void apply(const DrawState& state);

  bool prepared_ = false;
  GLuint programs_[2] = {0, 0};  // plain, textured
  GLuint vertexBuffer_ = 0, indexBuffer_ = 0;
  size_t vertexBytes_ = 0, indexBytes_ = 0;
  std::map<GLuint, GLuint> textures_;  // the layer's names to WebGL's
  DrawState applied_;
  GLuint appliedProgram_ = 0;
  std::array<float, 4> clearColour_{0.0f, 0.0f, 0.0f, 0.0f};
};

}  // namespace gl1
