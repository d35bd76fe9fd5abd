#include <cstdio>
#include <cstring>

#include "app/OpenGLView.h"
#include "platform/window/Application.h"
#include "platform/ResourceFolder.h"
#include "platform/window/Window.h"
#include "support/Log.h"

namespace {
constexpr const char* kUsage =
    "usage: disco [--help | --version]\n"
    "\n"
    "A real-time OpenGL disco scene with music. It takes over the main display in full screen and\n"
    "plays until any key is pressed. When the display cannot be taken over it runs in an 800 x 600\n"
    "window instead; close the window to quit.";
// Says why the demo cannot show itself, and what still works on a machine without a display.
int noDisplay(const std::string& why) {
  std::fprintf(stderr,
               "no display: %s\n"
               "Without a display, disco-capture renders the scene: a video with its music,\n"
               "  %s/disco-capture --video disco.mp4 --duration 20\n"
               "or PNG frames (disco-capture --help).\n",
               why.c_str(), programFolder().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The demo itself takes no options; these two only answer and leave.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::printf("%s\n", kUsage);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("disco %s\n", DISCO_VERSION);
    return 0;
  }
  if (argc > 1) {
    int bad = 1;  // the first argument that is not one of the two, or the one too many
    while (bad < argc - 1 && (std::strcmp(argv[bad], "--help") == 0 || std::strcmp(argv[bad], "--version") == 0)) ++bad;
    std::fprintf(stderr, "disco: unexpected argument '%s'\n%s\n", argv[bad], kUsage);
    return 2;
  }

  const std::string problem = platform::startWindowSystem([](const std::string& line) { Log("%s", line.c_str()); });
  if (!problem.empty()) return noDisplay(problem);
  auto view = OpenGLView::create(Rect{0.0f, 0.0f, 800.0f, 600.0f});
  if (!view) return noDisplay("cannot open a window with OpenGL");
  return platform::runApplication(view->surface(), *view);
}
