#pragma once

#include <map>
#include <vector>

#include "platform/web/gl1/Backend.h"

namespace gl1 {

// The layer's batches drawn with WebGL 1 (OpenGL ES 2, which desktop GL also takes): one buffer
// of vertices and one of indices, rewritten for each batch, a shader pair for textured and plain
// draws, and only the state that changed set between draws. Its GL objects are made in the
// context current when it first draws, and made again, textures and all, when a lost context
// comes back; meanwhile nothing is drawn. Shaders WebGL will not take end the drawing for good.
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
  void contextLost() override;
  void contextRestored() override;

 private:
  // A texture as it was given, to be made again in a context that comes back.
  struct TextureRecord {
    GLsizei width = 0, height = 0;
    GLenum format = 0;
    std::vector<uint8_t> pixels;
    std::map<GLenum, GLint> parameters;
  };

  bool drawing() const { return !lost_ && !failed_; }
  void prepare();
  void uploadImage(GLuint texture, const TextureRecord& record);
  void setParameter(GLuint texture, GLenum name, GLint value);
  GLuint glTexture(GLuint texture);
  void apply(const DrawState& state);

  bool prepared_ = false;
  bool lost_ = false;
  bool failed_ = false;
  std::map<GLuint, TextureRecord> records_;
  std::array<GLint, 4> viewport_{0, 0, 0, 0};
  GLint maxTextureSize_ = 0;
  GLuint programs_[2] = {0, 0};  // plain, textured
  GLuint vertexBuffer_ = 0, indexBuffer_ = 0;
  size_t vertexBytes_ = 0, indexBytes_ = 0;
  std::map<GLuint, GLuint> textures_;  // the layer's names to WebGL's
  DrawState applied_;
  GLuint appliedProgram_ = 0;
  std::array<float, 4> clearColour_{0.0f, 0.0f, 0.0f, 0.0f};
};

}  // namespace gl1
