#include "platform/window/Window.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Clock.h"
#include "platform/window/FramePacer.h"
#include "platform/window/DisplayTakeover.h"
#include "platform/window/RefreshRate.h"
#include "platform/window/DisplayServer.h"

namespace platform {

struct GLSurface::Impl {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  std::vector<SDL_Window*> covers;  // black windows over the other displays
  int swapInterval = 0;
  FramePacer pacer{60.0};

  ~Impl();
};

namespace {

// The surface holding the displays, if any: events are checked for anything that would take
// them away.
GLSurface::Impl* heldDisplays = nullptr;

}  // namespace

GLSurface::Impl::~Impl() {
  if (heldDisplays == this) heldDisplays = nullptr;
  for (SDL_Window* cover : covers) SDL_DestroyWindow(cover);
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

// A window and a context on it, or nothing.
std::unique_ptr<GLSurface::Impl> makeSurface(const char* title, int x, int y, int width, int height,
                                             Uint32 flags) {
  auto impl = std::make_unique<GLSurface::Impl>();
  impl->window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI);
  if (!impl->window) return nullptr;
  impl->context = SDL_GL_CreateContext(impl->window);
  if (!impl->context) return nullptr;
  impl->pacer = FramePacer(trueRefreshRate(impl->window));
  return impl;
}

// Function and navigation keys produce these private-use characters, like desktop key events do.
char16_t functionKeyCharacter(SDL_Keycode key) {
  switch (key) {
    case SDLK_UP: return 0xF700;
    case SDLK_DOWN: return 0xF701;
    case SDLK_LEFT: return 0xF702;
    case SDLK_RIGHT: return 0xF703;
    case SDLK_INSERT: return 0xF727;
    case SDLK_DELETE: return 0xF728;
    case SDLK_HOME: return 0xF729;
    case SDLK_END: return 0xF72B;
    case SDLK_PAGEUP: return 0xF72C;
    case SDLK_PAGEDOWN: return 0xF72D;
    case SDLK_PRINTSCREEN: return 0xF72E;
    case SDLK_SCROLLLOCK: return 0xF72F;
    case SDLK_PAUSE: return 0xF730;
    case SDLK_MENU: return 0xF735;
    default: break;
  }
  if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<char16_t>(0xF704 + (key - SDLK_F1));
  if (key >= SDLK_F13 && key <= SDLK_F24) return static_cast<char16_t>(0xF710 + (key - SDLK_F13));
  return 0xF700 + 0x3F;  // another function key without a character of its own
}

bool isModifierKey(const SDL_Keysym& keysym) {
  switch (keysym.sym) {
    case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL: case SDLK_LALT:
    case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: case SDLK_CAPSLOCK: case SDLK_MODE:
    case SDLK_NUMLOCKCLEAR:
      return true;
    default:
      break;
  }
  // Some layouts give a modifier no key symbol SDL knows (AltGr as ISO_Level3_Shift): its
  // position on the keyboard still says what it is.
  const SDL_Scancode code = keysym.scancode;
  return (code >= SDL_SCANCODE_LCTRL && code <= SDL_SCANCODE_RGUI) || code == SDL_SCANCODE_MODE ||
         code == SDL_SCANCODE_CAPSLOCK || code == SDL_SCANCODE_NUMLOCKCLEAR;
}

// Volume, brightness, media and power keys are not key presses on the desktops whose key events
// the demo follows: the system handles them, and they must not end full screen.
bool isSystemKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_VOLUMEUP: case SDLK_VOLUMEDOWN: case SDLK_MUTE: case SDLK_AUDIOMUTE:
    case SDLK_AUDIOPLAY: case SDLK_AUDIOSTOP: case SDLK_AUDIONEXT: case SDLK_AUDIOPREV:
    case SDLK_AUDIOREWIND: case SDLK_AUDIOFASTFORWARD: case SDLK_MEDIASELECT:
    case SDLK_BRIGHTNESSUP: case SDLK_BRIGHTNESSDOWN: case SDLK_DISPLAYSWITCH:
    case SDLK_KBDILLUMTOGGLE: case SDLK_KBDILLUMDOWN: case SDLK_KBDILLUMUP:
    case SDLK_EJECT: case SDLK_POWER: case SDLK_SLEEP:
      return true;
    default:
      return false;
  }
}

KeyEvent toKeyEvent(const SDL_Keysym& keysym) {
  KeyEvent key;
  if (keysym.mod & KMOD_SHIFT) key.modifierFlags |= KeyEvent::ShiftKeyMask;
  if (keysym.mod & KMOD_CTRL) key.modifierFlags |= KeyEvent::ControlKeyMask;
  if (keysym.mod & KMOD_ALT) key.modifierFlags |= KeyEvent::AlternateKeyMask;
  if (keysym.mod & KMOD_GUI) key.modifierFlags |= KeyEvent::CommandKeyMask;
  const SDL_Keycode code = keysym.sym;
  const bool text = (code & SDLK_SCANCODE_MASK) == 0 && code != SDLK_DELETE;
  if (text) {
    char16_t character = static_cast<char16_t>(code);
    if ((keysym.mod & KMOD_SHIFT) && character >= u'a' && character <= u'z') character -= 0x20;
    key.characters.assign(1, character);
  } else {
    key.modifierFlags |= KeyEvent::FunctionKeyMask;
    key.characters.assign(1, functionKeyCharacter(code));
  }
  if (keysym.scancode >= SDL_SCANCODE_KP_DIVIDE && keysym.scancode <= SDL_SCANCODE_KP_PERIOD)
    key.modifierFlags |= KeyEvent::NumericPadKeyMask;
  return key;
}

void translate(const SDL_Event& in, Event& out) {
  out.type = EventType::Other;
  switch (in.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (isModifierKey(in.key.keysym)) return;  // a modifier change, not a key press
      if (isSystemKey(in.key.keysym.sym)) return;
      out.type = in.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
      out.key = toKeyEvent(in.key.keysym);
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

std::string startWindowSystem() {
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
  const Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
  auto impl = makeSurface(title, position, position, width, height, flags);
  if (!impl) {
    SDL_GL_ResetAttributes();  // the driver's default format
    impl = makeSurface(title, position, position, width, height, flags);
  }
  if (!impl) return nullptr;
  return std::unique_ptr<GLSurface>(new GLSurface(std::move(impl)));
}

std::unique_ptr<GLSurface> GLSurface::createFullScreen(const char* title, const PixelFormat& format,
                                                       GLSurface& share) {
  SDL_Rect area;
  if (SDL_GetDisplayBounds(0, &area) != 0) return nullptr;
  const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
  share.makeCurrent();
  requestFormat(format);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
  const takeover::TakeoverWindowScope takingOver;
  auto impl = makeSurface(title, area.x, area.y, area.w, area.h, flags);
  if (!impl) {
    share.makeCurrent();
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    impl = makeSurface(title, area.x, area.y, area.w, area.h, flags);
  }
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  share.makeCurrent();
  if (!impl) return nullptr;
  return std::unique_ptr<GLSurface>(new GLSurface(std::move(impl)));
}

bool GLSurface::takeMainDisplay() {
  if (!takeover::takeDisplays(impl_->window, impl_->covers)) return false;
  heldDisplays = impl_.get();
  return true;
}

void GLSurface::show() {
  SDL_ShowWindow(impl_->window);
  SDL_RaiseWindow(impl_->window);
}

void GLSurface::makeCurrent() { SDL_GL_MakeCurrent(impl_->window, impl_->context); }

void GLSurface::setSwapInterval(int interval) {
  makeCurrent();
  SDL_GL_SetSwapInterval(interval);
  impl_->swapInterval = interval;
}

void GLSurface::flushBuffer() {
  SDL_GL_SwapWindow(impl_->window);
  if (impl_->swapInterval != 1) return;
  const double swapEnd = absoluteTime();
  const double nextStart = impl_->pacer.frameDone(swapEnd);
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
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {};
  return {static_cast<unsigned>(mode.w), static_cast<unsigned>(mode.h)};
}

void hideCursor() { SDL_ShowCursor(SDL_DISABLE); }

bool pollEvent(Event& event) {
  SDL_Event raw;
  if (!SDL_PollEvent(&raw)) return false;
  if (heldDisplays) takeover::keepDisplays(heldDisplays->window, heldDisplays->covers, raw);
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
