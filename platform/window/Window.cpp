#include "platform/window/Window.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Clock.h"
#include "platform/window/FramePacer.h"
#include "platform/window/KeyTranslation.h"
#include "platform/window/DisplayReport.h"
#include "platform/window/DisplayServer.h"
#include "platform/window/HoldingWay.h"
#include "platform/window/MainDisplay.h"

namespace platform {

struct GLSurface::Impl {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  std::unique_ptr<takeover::DisplayHold> displays;  // while this surface holds them
  int swapInterval = 0;
  int swapIntervalOfSDL = 0;  // 0 for a while where the compositor is busy with the monitors
  FramePacer pacer{60.0};

  ~Impl();
  // Follows the monitors and stays on top, while this surface holds the displays.
  void keepDisplays();
  // Where swaps return at once, sleeps until the display's next frame is due.
  void waitForNextFrame();
};

GLSurface::Impl::~Impl() {
  displays.reset();
  if (context) SDL_GL_DeleteContext(context);
  if (window) SDL_DestroyWindow(window);
}

namespace {

void requestFormat(const PixelFormat& format) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, format.colorSize / 3);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, format.colorSize / 3);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, format.colorSize / 3);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format.depthSize);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, format.doubleBuffer ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, format.accelerated ? 1 : 0);
}

// A window and a context on it, or nothing. `makeWindow` is given the flags every surface has.
template <class MakeWindow>
std::unique_ptr<GLSurface::Impl> makeSurface(MakeWindow makeWindow, Uint32 flags) {
  auto impl = std::make_unique<GLSurface::Impl>();
  impl->window = makeWindow(flags | SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI);
  if (!impl->window) return nullptr;
  impl->context = SDL_GL_CreateContext(impl->window);
  if (!impl->context) return nullptr;
  impl->pacer = FramePacer(takeover::holdingWay().refreshRate(impl->window));
  return impl;
}

void translate(const SDL_Event& in, Event& out) {
  out.type = EventType::Other;
  switch (in.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (auto key = translateKey(in.key.keysym)) {
        out.type = in.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
        out.key = std::move(*key);
      }
      return;
    case SDL_MOUSEBUTTONDOWN:
      if (in.button.button == SDL_BUTTON_LEFT) out.type = EventType::LeftMouseDown;
      return;
    case SDL_MOUSEBUTTONUP:
      if (in.button.button == SDL_BUTTON_LEFT) out.type = EventType::LeftMouseUp;
      return;
    case SDL_MOUSEMOTION:
      if (in.motion.state & SDL_BUTTON_LMASK) out.type = EventType::LeftMouseDragged;
      return;
    case SDL_WINDOWEVENT:
      if (in.window.event == SDL_WINDOWEVENT_EXPOSED) out.type = EventType::Exposed;
      if (in.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) out.type = EventType::Resized;
      return;
    case SDL_QUIT:
      out.type = EventType::Quit;
      return;
    default:
      return;
  }
}

}  // namespace

std::string startWindowSystem(std::function<void(const std::string&)> report) {
  setDisplayReport(std::move(report));
  // SIGINT and SIGTERM keep their usual meaning: end the process.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A full-screen window stays put when it loses focus.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  // The desktop hears who holds its screen saver off, and why.
  SDL_SetHint(SDL_HINT_APP_NAME, "disco");
  SDL_SetHint(SDL_HINT_SCREENSAVER_INHIBIT_ACTIVITY_NAME, "Showing a disco scene");
  return connectDisplayServer();
}

GLSurface::GLSurface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GLSurface::~GLSurface() = default;

std::unique_ptr<GLSurface> GLSurface::createWindow(const char* title, int width, int height,
                                                   const PixelFormat& format) {
  const int position = SDL_WINDOWPOS_CENTERED_DISPLAY(0);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  requestFormat(format);
  // Hidden until it is needed: in a normal run the full-screen surface covers it anyway.
  const auto makeWindow = [&](Uint32 flags) { return SDL_CreateWindow(title, position, position, width, height, flags); };
  const Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
  auto impl = makeSurface(makeWindow, flags);
  if (!impl) {
    SDL_GL_ResetAttributes();  // the driver's default format
    impl = makeSurface(makeWindow, flags);
  }
  if (!impl) return nullptr;
  return std::unique_ptr<GLSurface>(new GLSurface(std::move(impl)));
}

std::unique_ptr<GLSurface> GLSurface::createFullScreen(const char* title, const PixelFormat& format,
                                                       GLSurface& share) {
  // Created where the main monitor is: SDL makes a window full screen on the display it is on.
  SDL_Rect bounds;
  if (SDL_GetDisplayBounds(mainDisplayIndex(), &bounds) != 0) return nullptr;
  const takeover::ScreenArea area{bounds.x, bounds.y, bounds.w, bounds.h};
  // Made as the way that will hold the displays needs it.
  const auto makeWindow = [&](Uint32 flags) { return takeover::holdingWay().makeWindow(title, area, flags); };
  const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
  share.makeCurrent();
  requestFormat(format);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
  auto impl = makeSurface(makeWindow, flags);
  if (!impl) {
    share.makeCurrent();
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    impl = makeSurface(makeWindow, flags);
  }
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  share.makeCurrent();
  if (!impl) return nullptr;
  return std::unique_ptr<GLSurface>(new GLSurface(std::move(impl)));
}

bool GLSurface::takeMainDisplay() {
  impl_->displays = takeover::holdingWay().hold(impl_->window);
  return impl_->displays != nullptr;
}

void GLSurface::show() {
  SDL_ShowWindow(impl_->window);
  SDL_RaiseWindow(impl_->window);
}

void GLSurface::makeCurrent() { SDL_GL_MakeCurrent(impl_->window, impl_->context); }

void GLSurface::setSwapInterval(int interval) {
  makeCurrent();
  SDL_GL_SetSwapInterval(interval);
  impl_->swapInterval = impl_->swapIntervalOfSDL = interval;
}

void GLSurface::keepDisplays() { impl_->keepDisplays(); }

void GLSurface::flushBuffer() {
  SDL_GL_SwapWindow(impl_->window);
  if (impl_->swapInterval == 1) impl_->waitForNextFrame();
}

void GLSurface::Impl::keepDisplays() {
  if (!displays) return;
  displays->keep();
  // On another monitor, or in another mode, frames keep to the rate it shows them at.
  if (displays->takeMonitorsChanged()) pacer = FramePacer(takeover::holdingWay().refreshRate(window));
  const int interval = displays->compositorBusy(SDL_GetTicks64()) ? 0 : swapInterval;
  if (interval != swapIntervalOfSDL) {
    SDL_GL_SetSwapInterval(interval);
    swapIntervalOfSDL = interval;
  }
}

void GLSurface::Impl::waitForNextFrame() {
  const double swapEnd = absoluteTime();
  const double nextStart = pacer.frameDone(swapEnd);
  if (nextStart > swapEnd) std::this_thread::sleep_for(std::chrono::duration<double>(nextStart - swapEnd));
}

Rect GLSurface::bounds() const {
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(impl_->window, &width, &height);
  return Rect{0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)};
}

uint32_t currentRendererID() {
  using QueryRenderer = int (*)(int attribute, unsigned int* value);
  constexpr int kVendorId = 0x8183, kDeviceId = 0x8184;  // GLX_RENDERER_{VENDOR,DEVICE}_ID_MESA
  auto query = reinterpret_cast<QueryRenderer>(SDL_GL_GetProcAddress("glXQueryCurrentRendererIntegerMESA"));
  unsigned int vendor = 0, device = 0;
  if (!query || !query(kVendorId, &vendor) || !query(kDeviceId, &device)) return 0;
  return ((vendor & 0xFFFFu) << 16) | (device & 0xFFFFu);
}

DisplaySize mainDisplayPixels() {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(mainDisplayIndex(), &mode) != 0) return {};
  return {static_cast<unsigned>(mode.w), static_cast<unsigned>(mode.h)};
}

void hideCursor() { SDL_ShowCursor(SDL_DISABLE); }

bool pollEvent(Event& event) {
  SDL_Event raw;
  if (!SDL_PollEvent(&raw)) return false;
  translate(raw, event);
  return true;
}

bool waitEvent(Event& event) {
  SDL_Event raw;
  if (!SDL_WaitEvent(&raw)) return false;
  translate(raw, event);
  return true;
}

void exitProcess(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  // Nothing else to tear down: the window system releases the windows, the keyboard grab and
  // the audio device of a process that is gone, and no destructor can run into a worker thread.
  _exit(status);
}

}  // namespace platform
