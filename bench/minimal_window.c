/* The least a program can do to show a full-screen GL frame with SDL2: the baseline for the
 * demo's start-up time and memory. It opens a full-screen window with a GL context, clears it
 * to black and swaps; given a number of seconds it keeps doing so at about 60 Hz for that long.
 *
 * Usage: minimal_window [SECONDS] */
#include <GL/gl.h>
#include <SDL.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 0.0;
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  /* Made at the display's size: the frame covers as many pixels as the demo's. */
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 1;
  SDL_Window* window = SDL_CreateWindow("minimal", 0, 0, mode.w, mode.h,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP);
  if (!window) return 1;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) return 1;
  SDL_GL_SetSwapInterval(1);
  const Uint64 end = SDL_GetTicks64() + (Uint64)(seconds * 1000.0);
  do {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    if (seconds > 0) SDL_Delay(16);
  } while (SDL_GetTicks64() < end);
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
