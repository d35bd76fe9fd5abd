// Windows, full screen and events in a web page: the page's one canvas with a WebGL context. Full
// screen is the canvas taking the screen, which the page asks for on the visitor's first gesture.
#include "platform/window/Window.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include "platform/web/Page.h"
#include "platform/web/gl1/Layer.h"
#include "platform/web/gl1/Report.h"

namespace platform {

struct GLSurface::Impl {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
  bool ownsContext = false;
};

GLSurface::GLSurface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

GLSurface::~GLSurface() {
  if (impl_->ownsContext) emscripten_webgl_destroy_context(impl_->context);
}

namespace {

// A phone drops a page's context when memory runs short or the page goes to the background. The
// scene's clock and the music go on; the layer draws nothing until the context comes back.
EM_BOOL onContextLost(int, const void*, void*) {
  gl1::layer().backend().contextLost();
  disco_context_lost();
  return EM_TRUE;  // the default would be never to give it back
}

EM_BOOL onContextRestored(int, const void*, void*) {
  gl1::layer().backend().contextRestored();
  disco_context_restored();
  return EM_TRUE;
}

// WebGL that takes none of the layer's shaders: the page says so, and the demo stops there.
void endWithoutShaders() {
  emscripten_cancel_main_loop();
  disco_gl_failed();
  emscripten_exit_with_live_runtime();
}

}  // namespace

// A browser without WebGL stops the demo here, before main() could offer the desktop's way round
// a missing display (disco-capture), which means nothing to a visitor: the page tells them instead.
std::string startWindowSystem(std::function<void(const std::string&)> report) {
  if (!disco_webgl_offered()) emscripten_exit_with_live_runtime();
  gl1::setReport(std::move(report));
  gl1::setFailure(endWithoutShaders);
  return "";
}

std::unique_ptr<GLSurface> GLSurface::createWindow(const char*, int, int, const PixelFormat& format) {
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.alpha = false;  // an opaque picture, as on the desktop
  attributes.depth = format.depthSize > 0;
  attributes.stencil = false;
  attributes.antialias = false;
  attributes.majorVersion = 1;
  attributes.enableExtensionsByDefault = false;  // the layer needs none
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
  if (context <= 0) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->context = context;
  impl->ownsContext = true;
  emscripten_webgl_make_context_current(context);
  emscripten_set_webglcontextlost_callback("#canvas", nullptr, EM_FALSE, onContextLost);
  emscripten_set_webglcontextrestored_callback("#canvas", nullptr, EM_FALSE, onContextRestored);
  disco_context_created();
  return std::unique_ptr<GLSurface>(new GLSurface(std::move(impl)));
}

std::unique_ptr<GLSurface> GLSurface::createFullScreen(const char*, const PixelFormat&, GLSurface& share) {
  auto impl = std::make_unique<Impl>();
  impl->context = share.impl_->context;  // the same canvas, full screen
  return std::unique_ptr<GLSurface>(new GLSurface(std::move(impl)));
}

bool GLSurface::takeMainDisplay() { return disco_full_screen_granted() != 0; }

void GLSurface::show() {}

void GLSurface::makeCurrent() { emscripten_webgl_make_context_current(impl_->context); }

void GLSurface::setSwapInterval(int) {}  // the page draws once per animation frame

// The frame's batch goes to WebGL; the browser shows the canvas when the animation frame ends.
void GLSurface::keepDisplays() {}

void GLSurface::flushBuffer() { gl1::layer().flush(); }

Rect GLSurface::bounds() const {
  int width = 0, height = 0;
  disco_canvas_size(&width, &height);
  return Rect{0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)};
}

uint32_t currentRendererID() { return 0; }  // WebGL names no PCI device

DisplaySize mainDisplayPixels() {
  int width = 0, height = 0;
  disco_screen_size(&width, &height);
  return DisplaySize{static_cast<unsigned>(width), static_cast<unsigned>(height)};
}

void hideCursor() { disco_hide_cursor(); }

bool pollEvent(Event& event) {
  int type = 0, character = -1;
  uint32_t flags = 0;
  if (!disco_next_event(&type, &flags, &character)) return false;
  event = Event{};
  event.type = static_cast<EventType>(type);
  event.key.modifierFlags = flags;
  if (character >= 0) event.key.characters.assign(1, static_cast<char16_t>(character));
  return true;
}

bool waitEvent(Event& event) { return pollEvent(event); }  // a page never blocks

void exitProcess(int status) {
  // Reached once the frame loop has stopped drawing: the sound stops and full screen is left;
  // the page stays, saying the demo ended.
  disco_end(status);
  emscripten_exit_with_live_runtime();
}

}  // namespace platform
