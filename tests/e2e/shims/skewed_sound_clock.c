/* Preloaded by the party test: a sound card whose clock is not the system's. The streams the
 * demo opens on PulseAudio are declared at SKEWED_RATE instead of the rate the demo asked for,
 * so the server takes the demo's samples that much faster (or slower) than the demo thinks:
 * 44105 for 44100 is a card 113 ppm fast. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>

/* libpulse's sample format: its layout, under a name of ours. */
typedef struct {
  int format;
  uint32_t rate;
  uint8_t channels;
} SampleFormat;

static SampleFormat skew(const SampleFormat* asked) {
  SampleFormat skewed = *asked;
  const char* rate = getenv("SKEWED_RATE");
  if (rate) skewed.rate = (uint32_t)strtoul(rate, NULL, 10);
  return skewed;
}

/* SDL opens its streams one way, the demo's own timed output the other. */
void* pa_stream_new(void* context, const char* name, const SampleFormat* asked, const void* map) {
  static void* (*real)(void*, const char*, const SampleFormat*, const void*) = NULL;
  if (!real) real = (void* (*)(void*, const char*, const SampleFormat*, const void*))dlsym(RTLD_NEXT, "pa_stream_new");
  SampleFormat skewed = skew(asked);
  return real(context, name, &skewed, map);
}

void* pa_stream_new_with_proplist(void* context, const char* name, const SampleFormat* asked, const void* map,
                                  void* properties) {
  static void* (*real)(void*, const char*, const SampleFormat*, const void*, void*) = NULL;
  if (!real)
    real = (void* (*)(void*, const char*, const SampleFormat*, const void*, void*))dlsym(RTLD_NEXT,
                                                                                        "pa_stream_new_with_proplist");
  SampleFormat skewed = skew(asked);
  return real(context, name, &skewed, map, properties);
}
