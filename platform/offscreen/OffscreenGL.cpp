#include "platform/offscreen/OffscreenGL.h"

#include <GL/osmesa.h>

#include <cstring>

std::unique_ptr<OffscreenGL> OffscreenGL::create(int width, int height) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  std::unique_ptr<OffscreenGL> gl(new OffscreenGL);
  gl->width_ = width;
  gl->height_ = height;
  gl->buffer_.resize(static_cast<size_t>(width) * height * 4);
  // 16-bit depth like the demo's display contexts.
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  if (!context) return nullptr;
  gl->context_ = context;
  if (!OSMesaMakeCurrent(context, gl->buffer_.data(), GL_UNSIGNED_BYTE, width, height)) return nullptr;
  return gl;
}

OffscreenGL::~OffscreenGL() {
  if (context_) OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

const uint8_t* OffscreenGL::finishedRows() {
  glFinish();
  return buffer_.data();
}

const std::vector<uint8_t>& OffscreenGL::readFrame() {
  finishedRows();
  frame_.resize(buffer_.size());
  const size_t row = static_cast<size_t>(width_) * 4;
  for (int y = 0; y < height_; ++y)
    std::memcpy(frame_.data() + y * row, buffer_.data() + (height_ - 1 - y) * row, row);
  // A screen shows no alpha: what was cleared to (0, 0, 0, 0) is black, not see-through.
  for (size_t i = 3; i < frame_.size(); i += 4) frame_[i] = 255;
  return frame_;
}
