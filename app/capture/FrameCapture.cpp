#include "app/capture/FrameCapture.h"

#include <GL/gl.h>

#include <cmath>

#include "platform/audio/MusicPlayer.h"
#include "scene/Scene.h"

namespace {
// Mesa keeps every draw that nothing has waited for: thousands of steps in a row would pile up
// hundreds of megabytes of them.
constexpr long kStepsPerFinish = 60;
}  // namespace

FrameCapture::FrameCapture(Rect viewport, unsigned seed) : viewport_(viewport) {
  scene_ = std::make_unique<Scene>([this] { return now_; }, nullptr, seed);
  scene_->prepare();
}

FrameCapture::~FrameCapture() = default;

void FrameCapture::renderAt(double sceneTime) {
  const long target = std::lround(sceneTime * kStepsPerSecond);
  if (target > frame_) {
    scene_->setViewportRect(Rect{0.0f, 0.0f, 1.0f, 1.0f});
    while (frame_ + 1 < target) {
      now_ = static_cast<double>(++frame_) / kStepsPerSecond;
      scene_->render();
      if (frame_ % kStepsPerFinish == 0) glFinish();
    }
    now_ = static_cast<double>(++frame_) / kStepsPerSecond;
  }
  scene_->setViewportRect(viewport_);
  scene_->render();
  glFlush();  // a GL that batches its draws (the web page's) draws the frame now
}
