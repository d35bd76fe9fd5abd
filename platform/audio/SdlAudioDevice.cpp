#include "platform/audio/SdlAudioDevice.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/audio/StreamNames.h"

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

// SDL's audio driver, counted by open devices. It is started afresh when the first device
// opens and stopped when the last one closes, because SDL's PulseAudio driver keeps its one
// connection for good, dead server or not. (SDL_AudioInit rather than SDL_InitSubSystem: the
// subsystem counts are not for threads other than the window system's.)
std::mutex driverLock;
int devicesOpen = 0;

bool holdDriver(const std::string& name, std::string& why) {
  std::lock_guard<std::mutex> hold(driverLock);
  if (devicesOpen == 0 && SDL_AudioInit(name.empty() ? nullptr : name.c_str()) != 0) {
    if (why.empty()) why = SDL_GetError();
    return false;
  }
  ++devicesOpen;
  return true;
}

void releaseDriver() {
  std::lock_guard<std::mutex> hold(driverLock);
  if (--devicesOpen == 0) SDL_AudioQuit();
}

}  // namespace

std::string SdlAudioDevice::namedDriver() {
  const char* named = SDL_GetHint(SDL_HINT_AUDIODRIVER);
  return named ? named : "";
}

void SdlAudioDevice::nameStreams() {
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, stream_names::kApplication);
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, stream_names::kStream);
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, stream_names::kRole);
}

void SdlAudioDevice::threadDone() { SDL_TLSCleanup(); }

std::unique_ptr<SdlAudioDevice> SdlAudioDevice::open(const std::string& name, int rate, int channels,
                                                     int bufferFrames, Fill fill, void* user, bool exactly,
                                                     std::string& why) {
  quietAlsa();
  if (!holdDriver(name, why)) return nullptr;
  std::unique_ptr<SdlAudioDevice> device(new SdlAudioDevice(fill, user));  // lets the driver go with it
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = static_cast<Uint8>(channels < 1 ? 2 : channels > 8 ? 8 : channels);
  want.samples = static_cast<Uint16>(bufferFrames);
  want.callback = &SdlAudioDevice::serve;
  want.userdata = device.get();
  SDL_AudioSpec have{};
  // Rate and channels as the device likes them (the caller converts), unless the caller's
  // samples are already made; float samples always (SDL converts them to the device's type).
  const int changes = exactly ? 0 : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE;
  device->id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, changes);
  if (device->id_ == 0) {
    if (why.empty()) why = SDL_GetError();
    return nullptr;
  }
  device->rate_ = have.freq;
  device->channels_ = have.channels;
  device->bufferFrames_ = have.samples;
  const char* driver = SDL_GetCurrentAudioDriver();
  device->driver_ = driver ? driver : "";
  return device;
}

SdlAudioDevice::~SdlAudioDevice() {
  if (id_ != 0) SDL_CloseAudioDevice(id_);
  releaseDriver();
}

void SdlAudioDevice::start() { SDL_PauseAudioDevice(id_, 0); }

bool SdlAudioDevice::lost() const { return SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED; }

void SdlAudioDevice::serve(void* self, unsigned char* stream, int bytes) {
  auto* device = static_cast<SdlAudioDevice*>(self);
  // SDL calls on into a buffer of its own until a lost device is closed: what the callback took
  // then would never be heard, and the music would come back further on than where it went.
  if (device->lost()) {
    std::fill_n(reinterpret_cast<float*>(stream), static_cast<size_t>(bytes) / sizeof(float), 0.0f);
    return;
  }
  device->fill(reinterpret_cast<float*>(stream), static_cast<size_t>(bytes) / sizeof(float), NAN, NAN);
}
