/* Checks bench/audio_probe.c against a player whose underruns are known: run with the probe
 * preloaded, SDL_AUDIODRIVER=disk and AUDIO_PROBE_OUT set. "full" hands the device a sine with
 * a few exact zeros in every buffer (no underrun); "starved" leaves the last 100 samples of every
 * buffer zero, as a player with nothing decoded does. Exits 0 when the probe's count agrees. */
#include <SDL.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int starved;
static SDL_atomic_t calls;

static void fill(void* user, Uint8* stream, int bytes) {
  (void)user;
  float* out = (float*)stream;
  const int n = bytes / (int)sizeof(float);
  for (int i = 0; i < n; ++i) out[i] = (i % 50 == 0) ? 0.0f : sinf((float)i * 0.05f);
  if (starved) memset(out + n - 100, 0, 100 * sizeof(float));
  SDL_AtomicIncRef(&calls);
}

static long long reported(const char* path, const char* key) {
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  char name[64];
  long long value, found = -1;
  while (fscanf(f, "%63s %lld", name, &value) == 2)
    if (strcmp(name, key) == 0) found = value;
  fclose(f);
  return found;
}

int main(int argc, char** argv) {
  const char* path = getenv("AUDIO_PROBE_OUT");
  if (argc != 2 || !path) {
    fprintf(stderr, "usage: AUDIO_PROBE_OUT=FILE probe_check full|starved\n");
    return 2;
  }
  starved = strcmp(argv[1], "starved") == 0;
  remove(path);
  if (SDL_Init(SDL_INIT_AUDIO) != 0) return 1;
  SDL_AudioSpec want = {0};
  want.freq = 48000;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = 256;
  want.callback = fill;
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(NULL, 0, &want, NULL, 0);
  if (!device) return 1;
  SDL_PauseAudioDevice(device, 0);
  while (SDL_AtomicGet(&calls) < 30) SDL_Delay(5);  /* the probe reports at its 25th callback */
  SDL_CloseAudioDevice(device);
  const long long callbacks = reported(path, "callbacks"), underruns = reported(path, "underruns");
  printf("callbacks %lld underruns %lld\n", callbacks, underruns);
  if (callbacks < 25) return 1;
  return starved ? !(underruns == callbacks - 1 || underruns == callbacks) : underruns != 0;
}
