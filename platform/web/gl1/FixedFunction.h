#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "platform/web/gl1/Backend.h"
#include "platform/web/gl1/Matrix.h"

namespace gl1 {

// The GL 1.x the scene calls, kept as GL keeps it and drawn in batches: every vertex is
// transformed here, and the frame's vertices go to the backend together, in as few draws as the
// texture, blending, depth test and culling allow. The backend gets them only when something
// that depends on them comes (a clear, a viewport, a texture change, finish) or the frame ends.
class FixedFunction {
 public:
  explicit FixedFunction(std::unique_ptr<Backend> backend);
  ~FixedFunction();

  // Capabilities: texturing, blending, depth test and culling draw differently; any other
  // (lighting, which the scene keeps off) is ignored.
  void setEnabled(GLenum capability, bool enabled);
  void blendFunc(GLenum source, GLenum destination);

  void matrixMode(GLenum mode);
  void loadIdentity();
  void pushMatrix();
  void popMatrix();
  void multMatrix(const Matrix& matrix);
  void translate(float x, float y, float z);
  void rotate(float degrees, float x, float y, float z);
  void scale(float x, float y, float z);

  // Triangles, quads, strips, fans and polygons; points and lines are not drawn.
  void begin(GLenum mode);
  void end();
  void colour(float red, float green, float blue, float alpha);
  void texCoord(float s, float t);
  void vertex(float x, float y, float z);

  void genTextures(GLsizei count, GLuint* names);
  void bindTexture(GLenum target, GLuint texture);
  void pixelStore(GLenum name, GLint value);
  void texParameter(GLenum target, GLenum name, GLint value);
  void texImage(GLenum target, GLint level, GLsizei width, GLsizei height, GLenum format, GLenum type,
                const void* pixels);

  void clearColour(float red, float green, float blue, float alpha);
  void clear(GLbitfield mask);
  void viewport(GLint x, GLint y, GLsizei width, GLsizei height);
  void getIntegerv(GLenum name, GLint* values);
  void finish();
  // Hands everything drawn so far to the backend.
  void flush();
  Backend& backend() { return *backend_; }

 private:
  MatrixStack& stack();
  void matrixChanged();
  DrawState drawState() const;
  void addTriangles(size_t first, size_t count);

  std::unique_ptr<Backend> backend_;
  MatrixStack modelview_{32};
  MatrixStack projection_{32};
  GLenum matrixMode_ = GL_MODELVIEW;
  Matrix clipFromObject_ = Matrix::identity();
  bool clipFromObjectStale_ = false;

  bool texturing_ = false, blend_ = false, depthTest_ = false, cullFace_ = false;
  GLenum blendSource_ = GL_ONE, blendDestination_ = GL_ZERO;
  GLuint boundTexture_ = 0;
  GLuint lastTextureName_ = 0;
  std::set<GLuint> texturesWithPicture_;
  GLint unpackRowLength_ = 0;
  GLint unpackAlignment_ = 4;

  GLenum primitive_ = 0;
  bool insidePrimitive_ = false;
  size_t primitiveStart_ = 0;
  std::array<float, 4> colour_{1.0f, 1.0f, 1.0f, 1.0f};
  std::array<float, 2> texCoord_{0.0f, 0.0f};
  std::array<float, 4> clearColour_{0.0f, 0.0f, 0.0f, 0.0f};

  std::vector<Vertex> vertices_;
  std::vector<uint16_t> indices_;
  std::vector<Draw> draws_;
};

}  // namespace gl1
