#include "app/capture/FrameCapture.h"

#include <cmath>

#include "platform/MusicPlayer.h"
#include "scene/Scene.h"

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
    }
    now_ = static_cast<double>(++frame_) / kStepsPerSecond;
  }
  scene_->setViewportRect(viewport_);
  scene_->render();
}
