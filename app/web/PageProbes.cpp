// What the page's tests read and ask for: the ball's place, and a frame at a fixed scene time and
// floor seed drawn as disco-capture draws it (the page's "?time=&seed=" parameters).
#include <emscripten/emscripten.h>

#include <memory>

#include "app/OpenGLView.h"
#include "app/capture/FrameCapture.h"
#include "objects/Ball.h"
#include "platform/web/HostedView.h"
#include "platform/window/Window.h"
#include "scene/Scene.h"

extern "C" {

// The ball's x and z, written to out; false before the demo runs.
EMSCRIPTEN_KEEPALIVE int disco_ball_position(float* out) {
  const auto* view = dynamic_cast<const OpenGLView*>(web::hostedView());
  if (!view) return 0;
  Ball::Vector position;
  view->getScene().getBall()->getPosition(&position);
  out[0] = position.x;
  out[1] = position.z;
  return 1;
}

// Draws the scene at `time` seconds with the floor from `seed` into the page's canvas, at its size.
EMSCRIPTEN_KEEPALIVE int disco_render_at(double time, unsigned seed) {
  static std::unique_ptr<platform::GLSurface> surface;
  if (!surface) surface = platform::GLSurface::createWindow("disco", 0, 0, platform::PixelFormat{});
  if (!surface) return 0;
  surface->makeCurrent();
  FrameCapture capture(surface->bounds(), seed);
  capture.renderAt(time);
  return 1;
}

}  // extern "C"
