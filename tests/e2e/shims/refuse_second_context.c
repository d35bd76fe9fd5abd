/* Preloaded by an end-to-end test: the view's own GL context is made, any further one (the
 * full-screen context) is not, as when a driver has no second context to give. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>

typedef struct SDL_Window SDL_Window;

void* SDL_GL_CreateContext(SDL_Window* window) {
  static int made;
  void* (*real)(SDL_Window*) = (void* (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_GL_CreateContext");
  if (made) return NULL;
  void* context = real(window);
  if (context) made = 1;
  return context;
}
