#include "platform/web/gl1/FixedFunction.h"

#include <cstdio>
#include <cstring>

#include "platform/web/gl1/Report.h"

namespace gl1 {
namespace {

// Indices are 16-bit, as WebGL 1 draws them everywhere.
constexpr size_t kMostVertices = 65536;

// Points and lines are not drawn: the scene draws none.
bool makesTriangles(GLenum mode) {
  switch (mode) {
    case GL_TRIANGLES: case GL_TRIANGLE_STRIP: case GL_TRIANGLE_FAN: case GL_QUADS: case GL_QUAD_STRIP:
    case GL_POLYGON:
      return true;
    default:
      return false;
  }
}

size_t alignUp(size_t bytes, GLint alignment) {
  const size_t a = alignment > 0 ? static_cast<size_t>(alignment) : 1;
  return (bytes + a - 1) / a * a;
}

}  // namespace

FixedFunction::FixedFunction(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}

FixedFunction::~FixedFunction() = default;

void FixedFunction::setEnabled(GLenum capability, bool enabled) {
  switch (capability) {
    case GL_TEXTURE_2D: texturing_ = enabled; break;
    case GL_BLEND: blend_ = enabled; break;
    case GL_DEPTH_TEST: depthTest_ = enabled; break;
    case GL_CULL_FACE: cullFace_ = enabled; break;
    default: break;
  }
}

void FixedFunction::blendFunc(GLenum source, GLenum destination) {
  blendSource_ = source;
  blendDestination_ = destination;
}

MatrixStack& FixedFunction::stack() { return matrixMode_ == GL_PROJECTION ? projection_ : modelview_; }

void FixedFunction::matrixChanged() { clipFromObjectStale_ = true; }

void FixedFunction::matrixMode(GLenum mode) {
  if (mode == GL_MODELVIEW || mode == GL_PROJECTION) matrixMode_ = mode;  // texture matrices unused
}

void FixedFunction::loadIdentity() {
  stack().top() = Matrix::identity();
  matrixChanged();
}

void FixedFunction::pushMatrix() { stack().push(); }

void FixedFunction::popMatrix() {
  if (stack().pop()) matrixChanged();
}

void FixedFunction::multMatrix(const Matrix& matrix) {
  stack().top() = stack().top() * matrix;
  matrixChanged();
}

void FixedFunction::translate(float x, float y, float z) {
  stack().top().translate(x, y, z);
  matrixChanged();
}

void FixedFunction::rotate(float degrees, float x, float y, float z) { multMatrix(Matrix::rotation(degrees, x, y, z)); }

void FixedFunction::scale(float x, float y, float z) {
  stack().top().scale(x, y, z);
  matrixChanged();
}

void FixedFunction::begin(GLenum mode) {
  primitive_ = mode;
  insidePrimitive_ = makesTriangles(mode);
  primitiveStart_ = vertices_.size();
}

void FixedFunction::colour(float red, float green, float blue, float alpha) { colour_ = {red, green, blue, alpha}; }

void FixedFunction::texCoord(float s, float t) { texCoord_ = {s, t}; }

void FixedFunction::vertex(float x, float y, float z) {
  if (!insidePrimitive_) return;
  if (clipFromObjectStale_) {
    clipFromObject_ = projection_.top() * modelview_.top();
    clipFromObjectStale_ = false;
  }
  vertices_.push_back(Vertex{clipFromObject_.transform(x, y, z), colour_, texCoord_});
}

void FixedFunction::end() {
  if (!insidePrimitive_) return;
  insidePrimitive_ = false;
  size_t count = vertices_.size() - primitiveStart_;
  if (count > kMostVertices) {  // more than one draw can index: dropped
    vertices_.resize(primitiveStart_);
    return;
  }
  if (vertices_.size() > kMostVertices) {  // the batch is full: draw what came before, keep this one
    std::vector<Vertex> primitive(vertices_.begin() + static_cast<ptrdiff_t>(primitiveStart_), vertices_.end());
    vertices_.resize(primitiveStart_);
    flush();
    vertices_ = std::move(primitive);
    primitiveStart_ = 0;
  }
  addTriangles(primitiveStart_, count);
}

// The primitive's vertices as a triangle list; an unfinished last triangle or quad is left out.
void FixedFunction::addTriangles(size_t first, size_t count) {
  const size_t indicesBefore = indices_.size();
  auto triangle = [this, first](size_t a, size_t b, size_t c) {
    indices_.insert(indices_.end(), {static_cast<uint16_t>(first + a), static_cast<uint16_t>(first + b),
                                     static_cast<uint16_t>(first + c)});
  };
  switch (primitive_) {
    case GL_TRIANGLES:
      for (size_t i = 0; i + 3 <= count; i += 3) triangle(i, i + 1, i + 2);
      break;
    case GL_QUADS:
      for (size_t i = 0; i + 4 <= count; i += 4) {
        triangle(i, i + 1, i + 2);
        triangle(i, i + 2, i + 3);
      }
      break;
    case GL_TRIANGLE_STRIP:
      for (size_t i = 0; i + 3 <= count; ++i) i % 2 ? triangle(i + 1, i, i + 2) : triangle(i, i + 1, i + 2);
      break;
    case GL_QUAD_STRIP:
      for (size_t i = 0; i + 4 <= count; i += 2) {
        triangle(i, i + 1, i + 3);
        triangle(i, i + 3, i + 2);
      }
      break;
    case GL_TRIANGLE_FAN:
    case GL_POLYGON:
      for (size_t i = 1; i + 2 <= count; ++i) triangle(0, i, i + 1);
      break;
    default: break;
  }
  const auto added = static_cast<uint32_t>(indices_.size() - indicesBefore);
  if (added == 0) return;
  const DrawState state = drawState();
  if (!draws_.empty() && draws_.back().state == state) {
    draws_.back().indexCount += added;
  } else {
    draws_.push_back(Draw{static_cast<uint32_t>(indicesBefore), added, state});
  }
}

// Blending's factors matter only while it is on, so a change to them with blending off starts no
// new draw; a texture without a picture draws plain colour, as desktop GL draws an incomplete one.
DrawState FixedFunction::drawState() const {
  DrawState state;
  state.texture = texturing_ && texturesWithPicture_.count(boundTexture_) ? boundTexture_ : 0;
  state.blend = blend_;
  if (blend_) {
    state.blendSource = blendSource_;
    state.blendDestination = blendDestination_;
  }
  state.depthTest = depthTest_;
  state.cullFace = cullFace_;
  return state;
}

void FixedFunction::genTextures(GLsizei count, GLuint* names) {
  for (GLsizei i = 0; i < count; ++i) names[i] = ++lastTextureName_;
}

void FixedFunction::bindTexture(GLenum target, GLuint texture) {
  if (target == GL_TEXTURE_2D) boundTexture_ = texture;
}

void FixedFunction::pixelStore(GLenum name, GLint value) {
  if (name == GL_UNPACK_ROW_LENGTH) unpackRowLength_ = value;
  if (name == GL_UNPACK_ALIGNMENT) unpackAlignment_ = value;
}

void FixedFunction::texParameter(GLenum target, GLenum name, GLint value) {
  if (target != GL_TEXTURE_2D || boundTexture_ == 0) return;
  flush();  // the draws so far sample the texture as it was
  // WebGL has no border colour to clamp to: the edge is the nearest it has.
  if (value == GL_CLAMP) value = GL_CLAMP_TO_EDGE;
  backend_->textureParameter(boundTexture_, name, value);
}

void FixedFunction::texImage(GLenum target, GLint level, GLsizei width, GLsizei height, GLenum format, GLenum type,
                             const void* pixels) {
  if (target != GL_TEXTURE_2D || level != 0 || boundTexture_ == 0 || type != GL_UNSIGNED_BYTE || !pixels ||
      width <= 0 || height <= 0)
    return;
  const size_t pixel = bytesPerPixel(format);
  if (pixel == 0) {
    char line[96];
    std::snprintf(line, sizeof line, "a texture of pixel format 0x%04X is left out: WebGL takes no such pixels", format);
    report(line);
    return;
  }
  flush();
  // Rows as the unpacking state lays them out, copied into tightly packed rows.
  const size_t packedRow = static_cast<size_t>(width) * pixel;
  const size_t rowPixels = unpackRowLength_ > 0 ? static_cast<size_t>(unpackRowLength_) : static_cast<size_t>(width);
  const size_t sourceRow = alignUp(rowPixels * pixel, unpackAlignment_);
  std::vector<uint8_t> packed(packedRow * static_cast<size_t>(height));
  const auto* source = static_cast<const uint8_t*>(pixels);
  for (size_t row = 0; row < static_cast<size_t>(height); ++row)
    std::memcpy(packed.data() + row * packedRow, source + row * sourceRow, packedRow);
  backend_->textureImage(boundTexture_, width, height, format, packed.data());
  texturesWithPicture_.insert(boundTexture_);
}

void FixedFunction::clearColour(float red, float green, float blue, float alpha) {
  clearColour_ = {red, green, blue, alpha};
}

void FixedFunction::clear(GLbitfield mask) {
  flush();
  backend_->clear(mask, clearColour_);
}

void FixedFunction::viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  flush();
  backend_->viewport(x, y, width, height);
}

// The scene asks only for the largest texture side.
void FixedFunction::getIntegerv(GLenum name, GLint* values) {
  *values = name == GL_MAX_TEXTURE_SIZE ? backend_->maxTextureSize() : 0;
}

void FixedFunction::finish() {
  flush();
  backend_->finish();
}

void FixedFunction::flush() {
  if (insidePrimitive_) return;
  if (!draws_.empty()) backend_->draw(vertices_, indices_, draws_);
  vertices_.clear();
  indices_.clear();
  draws_.clear();
}

}  // namespace gl1
