#pragma once

#include <memory>

#include "platform/audio/MusicPlayer.h"
#include "scene/Scene.h"

// The floor's colours in every benchmark run, so that the recorded and the live frames agree.
constexpr unsigned kBenchFloorSeed = 1;

// The demo's scene on a simulated 60 Hz clock and without music: every renderNext() is one
// frame of the running demo, the same frames in every run.
class SceneSteps {
 public:
  explicit SceneSteps(unsigned seed) : scene_(std::make_unique<Scene>([this] { return now_; }, nullptr, seed)) {
    scene_->prepare();
  }

  Scene& scene() { return *scene_; }
  long frame() const { return frame_; }

  void renderNext() {
    now_ = static_cast<double>(++frame_) / 60.0;
    scene_->render();
  }

 private:
  double now_ = 0.0;
  long frame_ = 0;
  std::unique_ptr<Scene> scene_;
};
