// The least an SDL2 program can do to show the demo's first frame full screen: the baseline
// for the demo's start-up. It opens one full-screen window with a GL context, loads the scene's
// textures into it and draws the scene's first frame, without music, a second context or the
// window the demo keeps for when full screen is refused. It stays until killed, swapping at
// about 60 Hz, so that a window manager's answer is part of what is measured.
//
// Usage: first_frame_window
#include <GL/gl.h>
#include <SDL.h>

#include <chrono>

#include "platform/audio/MusicPlayer.h"
#include "scene/Scene.h"

int main() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 1;
  SDL_Window* window = SDL_CreateWindow("first frame", 0, 0, mode.w, mode.h,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP);
  if (!window) return 1;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) return 1;
  SDL_GL_SetSwapInterval(1);
  const auto start = std::chrono::steady_clock::now();
  Scene scene([start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); },
              nullptr, 1u);
  scene.prepare();
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  scene.setViewportRect(Rect{0.0f, 0.0f, float(width), float(height)});
  for (;;) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    scene.render();
    SDL_GL_SwapWindow(window);
    SDL_Delay(16);
  }
}
