#include "app/OpenGLView.h"

#include "app/PartyFrames.h"
#include "platform/party/Party.h"
#include "platform/window/Window.h"
#include "scene/InputManager.h"
#include "scene/Scene.h"
#include "support/Log.h"

namespace {
constexpr const char* kTitle = "disco";
}

std::unique_ptr<OpenGLView> OpenGLView::create(Rect frame) {
  Log("initWithFrame");
  const platform::PixelFormat format;  // 24-bit colour, 16-bit depth, double buffer, accelerated
  std::unique_ptr<OpenGLView> view(new OpenGLView);
  // Joined first: the others answer while the window opens.
  std::string why;
  if (const std::optional<Party::Request> request = Party::requested(why)) {
    view->party = std::make_unique<PartyFrames>(
        Party::join(*request, [](const std::string& line) { Log("%s", line.c_str()); }), request->guests);
  } else if (!why.empty()) {
    Log("no party: %s", why.c_str());
  }
  view->view_ = platform::GLSurface::createWindow(kTitle, static_cast<int>(frame.width),
                                                  static_cast<int>(frame.height), format);
  if (!view->view_) return nullptr;
  Log("NSOpenGLView pixelFormat RendererID = %08x", platform::currentRendererID());
  view->scene = view->party ? view->party->makeScene() : std::make_unique<Scene>();
  return view;
}

OpenGLView::~OpenGLView() {
  scene.reset();  // its music follows the party's clock
  fullScreenContext.reset();
}

void OpenGLView::prepareOpenGL() {
  view_->setSwapInterval(1);
  scene->prepare();
  goFullScreen();
}

void OpenGLView::reshape() { scene->setViewportRect(view_->bounds()); }

void OpenGLView::renderScene() {
  if (party) party->stepTo(*scene);
  scene->render();
}

void OpenGLView::drawRect(Rect) {
  renderScene();
  view_->flushBuffer();
}

void OpenGLView::keyDown(const KeyEvent& event) { scene->getInputManager()->onKeyDown(event); }

void OpenGLView::keyUp(const KeyEvent& event) { scene->getInputManager()->onKeyUp(event); }

void OpenGLView::goFullScreen() {
  const platform::PixelFormat format;  // as the view's, on the main display only
  // The renderer the main display's context will use: the one the view's context runs on.
  Log("FullScreen pixelFormat RendererID = %08x", platform::currentRendererID());
  fullScreenContext = platform::GLSurface::createFullScreen(kTitle, format, *view_);
  if (!fullScreenContext) {
    Log("Failed to create fullScreenContext");
    return;
  }
  if (!fullScreenContext->takeMainDisplay()) {
    fullScreenContext.reset();
    view_->makeCurrent();
    return;
  }
  fullScreenContext->makeCurrent();
  fullScreenContext->setSwapInterval(1);
  setFullScreenViewport(fullScreenBounds());
  platform::hideCursor();
  stayInFullScreenMode = true;
  // The end of full-screen mode is the end of the demo: the process's on the desktop, the
  // page's in a browser.
  platform::runFrameLoop([this] { return fullScreenFrame(); }, [] { platform::exitProcess(0); });
}

bool OpenGLView::fullScreenFrame() {
  platform::Event event;
  while (stayInFullScreenMode && platform::pollEvent(event)) {
    switch (event.type) {
      case platform::EventType::LeftMouseDown: mouseDown(); break;
      case platform::EventType::LeftMouseUp: mouseUp(); break;
      case platform::EventType::LeftMouseDragged: mouseDragged(); break;
      case platform::EventType::KeyDown: stayInFullScreenMode = false; break;  // any key
      default: break;  // everything else is dropped
    }
  }
  if (!stayInFullScreenMode) return false;  // nothing more drawn once a key ended it
  fullScreenContext->keepDisplays();
  // The surface follows the main monitor when the monitors change (a page's canvas, the screen
  // once the browser is full screen); the scene follows the surface.
  const Rect now = fullScreenContext->bounds();
  if (now.width > 0 && now.height > 0 && (now.width != viewport.width || now.height != viewport.height))
    setFullScreenViewport(now);
  renderScene();
  fullScreenContext->flushBuffer();
  return true;
}

Rect OpenGLView::fullScreenBounds() const {
  const Rect screen = fullScreenContext->bounds();
  if (screen.width > 0 && screen.height > 0) return screen;
  const platform::DisplaySize display = platform::mainDisplayPixels();
  return Rect{0.0f, 0.0f, static_cast<float>(display.wide), static_cast<float>(display.high)};
}

void OpenGLView::setFullScreenViewport(Rect rect) {
  viewport = rect;
  scene->setViewportRect(rect);
}
