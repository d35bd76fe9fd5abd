#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/KeyEvent.h"
#include "platform/Rect.h"

// The windowing side of the platform: windows with GL contexts, full screen, events.
namespace platform {

// Starts the video system. Returns an empty string, or why no display can be used. `report`
// is told, once each, what goes wrong with the displays later (a refusal, a cover not made).
std::string startWindowSystem(std::function<void(const std::string& line)> report = nullptr);

// What a GL surface asks of the driver. The defaults are the demo's: 24-bit colour, 16-bit
// depth, double buffered, hardware accelerated.
struct PixelFormat {
  int colorSize = 24;
  int depthSize = 16;
  bool doubleBuffer = true;
  bool accelerated = true;
};

// A window with its own GL context.
class GLSurface {
 public:
  // A window of the given size, hidden until `show`, with a context of the requested format. When the
  // driver refuses that format, a context of its default format serves instead. Null when no
  // window or context can be made at all.
  static std::unique_ptr<GLSurface> createWindow(const char* title, int width, int height,
                                                 const PixelFormat& format);
  // A hidden window on the main display with a context sharing objects (textures) with
  // `share`'s context. Null when that context cannot be made.
  static std::unique_ptr<GLSurface> createFullScreen(const char* title, const PixelFormat& format,
                                                     GLSurface& share);
  ~GLSurface();

  // Gives the main display to this surface: full screen at its native size, raised, keyboard
  // grabbed, every other display covered in black, for as long as the surface lives, however
  // the monitors change. False, with nothing changed, if refused.
  bool takeMainDisplay();

  void show();
  void makeCurrent();
  void setSwapInterval(int interval);
  // While this surface holds the displays, acts on what the events read since the last call told:
  // it follows the monitors (its size may change: see `bounds`) and stays on top. Called once a
  // frame, as soon as its events are read, so that nothing waits for the frame being drawn.
  void keepDisplays();
  // Swaps buffers. With swap interval 1 a frame loop built on it runs at the refresh rate.
  void flushBuffer();
  // The drawable's size in pixels, at origin (0, 0).
  Rect bounds() const;

  struct Impl;

 private:
  explicit GLSurface(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// A 32-bit value naming the renderer of the current GL context: the PCI vendor id in the high
// half and the device id in the low half, as the driver reports them; 0 when it reports none.
uint32_t currentRendererID();

// The main display's size in pixels.
struct DisplaySize {
  unsigned wide = 0;
  unsigned high = 0;
};
DisplaySize mainDisplayPixels();

void hideCursor();

enum class EventType {
  None,
  LeftMouseDown,
  LeftMouseUp,
  LeftMouseDragged,
  KeyDown,
  KeyUp,
  Exposed,   // part of a window needs drawing
  Resized,   // a window's size changed
  Quit,      // the user closed the last window
  Other,     // modifier changes, other buttons, moves, scrolls, ...
};

struct Event {
  EventType type = EventType::None;
  KeyEvent key;  // for KeyDown and KeyUp
};

// The next pending event, without waiting. False when none is pending.
bool pollEvent(Event& event);
// The next event, waiting for one. False on an error.
bool waitEvent(Event& event);

// Ends the process at once with the given status; the display and input are given back.
[[noreturn]] void exitProcess(int status);

}  // namespace platform
