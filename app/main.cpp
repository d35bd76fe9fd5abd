#include <cstdio>

#include "app/OpenGLView.h"
#include "platform/window/Application.h"
#include "platform/window/Video.h"

int main() {
  const std::string problem = platform::startVideo();
  if (!problem.empty()) {
    std::fprintf(stderr, "no display: %s\n", problem.c_str());
    return 1;
  }
  auto view = OpenGLView::create(Rect{0.0f, 0.0f, 800.0f, 600.0f});
  if (!view) {
    std::fprintf(stderr, "no display: cannot open a window with OpenGL\n");
    return 1;
  }
  return platform::runApplication(view->surface(), *view);
}
