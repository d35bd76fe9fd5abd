#include "platform/audio/AudioDevice.h"

#include <SDL.h>
#include <dlfcn.h>

namespace {

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA, which SDL loads at run time, writes its complaints about a machine without a sound
// card straight to stderr. No sound device is no news here: give ALSA a handler that drops
// them. (The library stays loaded so that the handler stays in place.)
void quietAlsa() {
  static const bool done = [] {
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!alsa) return false;
    auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) setHandler(&ignoreAlsaError);
    return true;
  }();
  (void)done;
}

// About 40 ms per callback: small enough to start promptly, large enough to ride out a busy
// moment of the device thread.
int bufferFramesFor(int rate) {
  int frames = 256;
  while (frames < rate / 25 && frames < 16384) frames *= 2;
  return frames;
}
}  // namespace

std::unique_ptr<AudioDevice> AudioDevice::open(int rate, int channels, Fill fill, void* user) {
  quietAlsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  std::unique_ptr<AudioDevice> device(new AudioDevice(fill, user));
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = static_cast<Uint8>(channels < 1 ? 2 : channels > 8 ? 8 : channels);
  want.samples = static_cast<Uint16>(bufferFramesFor(rate));
  want.callback = &AudioDevice::callback;
  want.userdata = device.get();
  SDL_AudioSpec have{};
  // Rate and channels as the device likes them (the caller converts); float samples always
  // (SDL converts them to the device's sample type).
  device->id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                    SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
  if (device->id_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  device->rate_ = have.freq;
  device->channels_ = have.channels;
  device->bufferFrames_ = have.samples;
  return device;
}

AudioDevice::~AudioDevice() {
  SDL_CloseAudioDevice(id_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void AudioDevice::start() { SDL_PauseAudioDevice(id_, 0); }

void AudioDevice::callback(void* self, unsigned char* stream, int bytes) {
  auto* device = static_cast<AudioDevice*>(self);
  device->fill_(device->user_, reinterpret_cast<float*>(stream), static_cast<size_t>(bytes) / sizeof(float));
}
