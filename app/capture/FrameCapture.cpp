#include "app/capture/FrameCapture.h"

#include <GL/gl.h>

#include "platform/audio/MusicPlayer.h"
#include "scene/Scene.h"

FrameCapture::FrameCapture(Rect viewport, unsigned seed) : viewport_(viewport) {
  scene_ = std::make_unique<Scene>(steps_.clock(), nullptr, seed);
  scene_->prepare();
}

FrameCapture::~FrameCapture() = default;

void FrameCapture::renderAt(double sceneTime) {
  steps_.stepTo(*scene_, FixedSteps::stepAt(sceneTime));
  scene_->setViewportRect(viewport_);
  scene_->render();
  glFlush();  // a GL that batches its draws (the web page's) draws the frame now
}
