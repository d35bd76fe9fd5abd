#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A GL context that renders into memory (Mesa's software renderer): no display, no GPU.
class OffscreenGL {
 public:
  // Null when the context cannot be made.
  static std::unique_ptr<OffscreenGL> create(int width, int height);
  ~OffscreenGL();

  int width() const { return width_; }
  int height() const { return height_; }

  // Finishes drawing and returns the frame as opaque RGBA rows, top row first.
  const std::vector<uint8_t>& readFrame();
  // Finishes drawing and returns GL's own rows, bottom row first, alpha as drawn: for a reader
  // that takes rows in either order and ignores alpha, without readFrame()'s copy.
  const uint8_t* finishedRows();

 private:
  OffscreenGL() = default;
  void* context_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> buffer_;  // GL's rows, bottom row first
  std::vector<uint8_t> frame_;
};
