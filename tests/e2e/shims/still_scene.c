/* Preloaded by an end-to-end test: the scene stands still at its first moment, its floor seeded
 * with STILL_SEED, so that what a compositor shows of it can be set beside disco-capture's frame
 * at time 0 with that seed. Frames still come: a sleep (the frame pacer's, which sees no time
 * pass) lasts at most a frame. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

/* std::chrono::steady_clock::now(), in nanoseconds: the first answer, ever after. */
long long _ZNSt6chrono3_V212steady_clock3nowEv(void) {
  static long long first = 0;
  if (!first) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    first = now.tv_sec * 1000000000LL + now.tv_nsec;
  }
  return first;
}

time_t time(time_t* out) {
  const char* seed = getenv("STILL_SEED");
  const time_t value = seed ? (time_t)strtoll(seed, NULL, 10) : 1;
  if (out) *out = value;
  return value;
}

int nanosleep(const struct timespec* wanted, struct timespec* left) {
  static int (*real)(const struct timespec*, struct timespec*) = NULL;
  if (!real) real = (int (*)(const struct timespec*, struct timespec*))dlsym(RTLD_NEXT, "nanosleep");
  struct timespec capped = *wanted;
  if (capped.tv_sec > 0 || capped.tv_nsec > 20000000L) capped = (struct timespec){0, 20000000L};
  return real(&capped, left);
}
