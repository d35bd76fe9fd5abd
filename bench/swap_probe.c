/* Preloaded into the demo by the measuring scripts (LD_PRELOAD): writes the CLOCK_MONOTONIC
 * time of every buffer swap (as it returns), one line each, to the file named by SWAP_PROBE_OUT;
 * where SWAP_START_PROBE_OUT names a file, the time each swap was called, so that the time the
 * frame loop spends outside the swap shows; and, where VIEWPORT_PROBE_OUT names a file, every
 * viewport set ("x y width height" lines). The demo itself knows nothing of it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef struct SDL_Window SDL_Window;

static int probe_fd = -1;
static int start_fd = -1;
static int viewport_fd = -1;

static int open_named(const char* variable) {
  const char* path = getenv(variable);
  return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
}

__attribute__((constructor)) static void probe_open(void) {
  probe_fd = open_named("SWAP_PROBE_OUT");
  start_fd = open_named("SWAP_START_PROBE_OUT");
  viewport_fd = open_named("VIEWPORT_PROBE_OUT");
}

void glViewport(int x, int y, int width, int height) {
  static void (*real)(int, int, int, int) = NULL;
  if (!real) real = (void (*)(int, int, int, int))dlsym(RTLD_NEXT, "glViewport");
  real(x, y, width, height);
  if (viewport_fd >= 0) {
    char line[64];
    int n = snprintf(line, sizeof line, "%d %d %d %d\n", x, y, width, height);
    if (write(viewport_fd, line, (size_t)n) < 0) { /* nothing to do about it */ }
  }
}

static void note_time(int fd) {
  if (fd < 0) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[48];
  int n = snprintf(line, sizeof line, "%lld.%09ld\n", (long long)now.tv_sec, now.tv_nsec);
  if (write(fd, line, (size_t)n) < 0) { /* nothing to do about it */ }
}

void SDL_GL_SwapWindow(SDL_Window* window) {
  static void (*real)(SDL_Window*) = NULL;
  if (!real) real = (void (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
  note_time(start_fd);
  real(window);
  note_time(probe_fd);
}
