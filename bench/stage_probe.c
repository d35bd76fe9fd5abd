/* Preloaded into a program by bench/report.py (LD_PRELOAD): writes the CLOCK_MONOTONIC time at
 * which each GL context is made, each window goes full screen, is shown, raised and grabs the
 * keyboard, and the first frame starts drawing (its first glClear), one "name seconds" line
 * each, to the file named by
 * STAGE_PROBE_OUT. Splits the time to the first frame into its stages. */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static int stage_fd = -1;

__attribute__((constructor)) static void stage_open(void) {
  const char* path = getenv("STAGE_PROBE_OUT");
  if (path) stage_fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

static void stage(const char* name) {
  if (stage_fd < 0) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[64];
  const int n = snprintf(line, sizeof line, "%s %lld.%09ld\n", name, (long long)now.tv_sec, now.tv_nsec);
  if (write(stage_fd, line, (size_t)n) < 0) { /* nothing to do about it */ }
}

SDL_GLContext SDL_GL_CreateContext(SDL_Window* window) {
  static SDL_GLContext (*real)(SDL_Window*) = NULL;
  if (!real) real = (SDL_GLContext(*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_GL_CreateContext");
  stage("context_start");
  SDL_GLContext context = real(window);
  stage("context_made");
  return context;
}

int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags) {
  static int (*real)(SDL_Window*, Uint32) = NULL;
  if (!real) real = (int (*)(SDL_Window*, Uint32))dlsym(RTLD_NEXT, "SDL_SetWindowFullscreen");
  const int result = real(window, flags);
  stage("full_screen");
  return result;
}

#define AFTER(name, label)                                                         \
  void name(SDL_Window* window) {                                                  \
    static void (*real)(SDL_Window*) = NULL;                                       \
    if (!real) real = (void (*)(SDL_Window*))dlsym(RTLD_NEXT, #name);              \
    real(window);                                                                  \
    stage(label);                                                                  \
  }
AFTER(SDL_ShowWindow, "shown")
AFTER(SDL_RaiseWindow, "raised")

void SDL_SetWindowKeyboardGrab(SDL_Window* window, SDL_bool grabbed) {
  static void (*real)(SDL_Window*, SDL_bool) = NULL;
  if (!real) real = (void (*)(SDL_Window*, SDL_bool))dlsym(RTLD_NEXT, "SDL_SetWindowKeyboardGrab");
  real(window, grabbed);
  stage("keyboard_grabbed");
}

void glClear(GLbitfield mask) {
  static void (*real)(GLbitfield) = NULL;
  static int seen = 0;
  if (!real) real = (void (*)(GLbitfield))dlsym(RTLD_NEXT, "glClear");
  if (!seen) {
    seen = 1;
    stage("first_clear");
  }
  real(mask);
}
