/* Preloaded into the demo by bench/run.sh (LD_PRELOAD): wraps the callback of every SDL audio
 * device the program opens and counts, per callback, whether the buffer the player handed back
 * ends in digital silence: a run of at least AUDIO_PROBE_RUN (default 64) samples that are
 * exactly zero. A player that has no samples ready pads with zeros, so with music that has no
 * such runs of its own, each such callback is an underrun. About once a second (the demo ends
 * with _exit, so there is no last word) it rewrites the file named by AUDIO_PROBE_OUT with
 * "callbacks N", "underruns N", "silent_samples N", "callback_cpu_ns N" and, for each of the
 * first eight underruns, "underrun_at K": the number of the callback, from 1.
 * Only float (AUDIO_F32SYS) devices are inspected. The demo itself knows nothing of it. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef struct {
  SDL_AudioCallback callback;
  void* userdata;
  int isFloat;
} Wrapped;

static Wrapped wrapped[8];
static atomic_int wrappedCount;
static atomic_llong callbacks, underruns, silentSamples, callbackNanos;
static long long firstUnderruns[8];  /* callback numbers (from 1) of the first underruns */
static long minRun = 64;

static long long threadNanos(void) {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void writeReport(void);

static void probeCallback(void* user, Uint8* stream, int bytes) {
  Wrapped* w = (Wrapped*)user;
  const long long start = threadNanos();
  w->callback(w->userdata, stream, bytes);
  callbackNanos += threadNanos() - start;
  const long long number = ++callbacks;
  if (number % 25 == 0) writeReport();
  if (!w->isFloat) return;
  const float* samples = (const float*)stream;
  long n = bytes / (long)sizeof(float), zeros = 0;
  while (zeros < n && samples[n - 1 - zeros] == 0.0f) zeros++;
  if (zeros >= minRun) {
    const long long count = underruns++;
    if (count < 8) firstUnderruns[count] = number;
    silentSamples += zeros;
  }
}

static void writeReport(void) {
  const char* path = getenv("AUDIO_PROBE_OUT");
  if (!path) return;
  char text[512], temporary[4096];
  int n = snprintf(text, sizeof text, "callbacks %lld\nunderruns %lld\nsilent_samples %lld\ncallback_cpu_ns %lld\n",
                   (long long)callbacks, (long long)underruns, (long long)silentSamples, (long long)callbackNanos);
  for (long long i = 0; i < underruns && i < 8; ++i)
    n += snprintf(text + n, sizeof text - (size_t)n, "underrun_at %lld\n", firstUnderruns[i]);
  /* Written aside and renamed, so a reader never sees half a report. */
  snprintf(temporary, sizeof temporary, "%s.tmp", path);
  FILE* f = fopen(temporary, "w");
  if (!f) return;
  fwrite(text, 1, (size_t)n, f);
  fclose(f);
  rename(temporary, path);
}

__attribute__((constructor)) static void probeStart(void) {
  const char* run = getenv("AUDIO_PROBE_RUN");
  if (run && atol(run) > 0) minRun = atol(run);
}

SDL_AudioDeviceID SDL_OpenAudioDevice(const char* device, int iscapture, const SDL_AudioSpec* desired,
                                      SDL_AudioSpec* obtained, int allowed_changes) {
  static SDL_AudioDeviceID (*real)(const char*, int, const SDL_AudioSpec*, SDL_AudioSpec*, int) = NULL;
  if (!real) real = dlsym(RTLD_NEXT, "SDL_OpenAudioDevice");
  const int slot = wrappedCount;
  if (!desired || !desired->callback || slot >= 8) return real(device, iscapture, desired, obtained, allowed_changes);
  wrappedCount++;
  wrapped[slot].callback = desired->callback;
  wrapped[slot].userdata = desired->userdata;
  /* Without SDL_AUDIO_ALLOW_FORMAT_CHANGE the callback sees the format asked for. */
  wrapped[slot].isFloat = desired->format == AUDIO_F32SYS && !(allowed_changes & SDL_AUDIO_ALLOW_FORMAT_CHANGE);
  SDL_AudioSpec wanted = *desired;
  wanted.callback = probeCallback;
  wanted.userdata = &wrapped[slot];
  return real(device, iscapture, &wanted, obtained, allowed_changes);
}
