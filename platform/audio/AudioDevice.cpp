#include "platform/audio/AudioDevice.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/audio/DriverOrder.h"
#include "platform/audio/PulseOutput.h"
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

// A music loop needs no low latency: about 370 ms per callback rides out a busy machine. (With
// 190 ms, two cores loaded by builds and a busy loop gave PulseAudio and PipeWire dropouts in
// every 40 s; SDL keeps no more than one callback's worth queued at the server.)
int bufferFramesFor(int rate) {
  int frames = 256;
  while (frames < rate / 3 && frames < 32768) frames *= 2;
  return frames;
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

AudioDevice::AudioDevice(Fill fill, void* user) : fill_(fill), user_(user) {}

void AudioDevice::nameStreams() {
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, stream_names::kApplication);
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, stream_names::kStream);
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, stream_names::kRole);
}

void AudioDevice::threadDone() { SDL_TLSCleanup(); }

std::vector<std::string> AudioDevice::driversAfter(const std::string& lost, bool others, bool timed) {
  const char* named = SDL_GetHint(SDL_HINT_AUDIODRIVER);
  return driverOrder({lost, others, timed, named ? named : ""});
}

std::unique_ptr<AudioDevice> AudioDevice::open(int rate, int channels, Fill fill, void* user, bool exactly,
                                               std::string& why, const std::vector<std::string>& drivers) {
  why.clear();
  for (const std::string& driver : drivers) {
    if (auto device = openThrough(driver, rate, channels, fill, user, exactly, why)) return device;
  }
  return nullptr;
}

std::unique_ptr<AudioDevice> AudioDevice::openThrough(const std::string& name, int rate, int channels, Fill fill,
                                                      void* user, bool exactly, std::string& why) {
  if (name == kTimedDriver) {
    const int bufferFrames = bufferFramesFor(rate);
    auto output = PulseOutput::open(rate, channels, bufferFrames, fill, user, why);
    if (!output) return nullptr;
    std::unique_ptr<AudioDevice> device(new AudioDevice(fill, user));
    device->timed_ = std::move(output);
    device->rate_ = rate;
    device->channels_ = channels;
    device->bufferFrames_ = bufferFrames;
    device->driver_ = name;
    return device;
  }
  quietAlsa();
  if (!holdDriver(name, why)) return nullptr;
  std::unique_ptr<AudioDevice> device(new AudioDevice(fill, user));  // lets the driver go with it
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = static_cast<Uint8>(channels < 1 ? 2 : channels > 8 ? 8 : channels);
  want.samples = static_cast<Uint16>(bufferFramesFor(rate));
  want.callback = &AudioDevice::callback;
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

AudioDevice::~AudioDevice() {
  if (timed_) return;  // its own thread stops with it
  if (id_ != 0) SDL_CloseAudioDevice(id_);
  releaseDriver();
}

void AudioDevice::start() {
  if (timed_) {
    timed_->start();
  } else {
    SDL_PauseAudioDevice(id_, 0);
  }
}

bool AudioDevice::lost() const {
  if (timed_) return timed_->lost();
  return SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED;
}

void AudioDevice::callback(void* self, unsigned char* stream, int bytes) {
  auto* device = static_cast<AudioDevice*>(self);
  // SDL calls on into a buffer of its own until a lost device is closed: what the callback took
  // then would never be heard, and the music would come back further on than where it went.
  if (device->lost()) {
    std::fill_n(reinterpret_cast<float*>(stream), static_cast<size_t>(bytes) / sizeof(float), 0.0f);
    return;
  }
  device->fill_(device->user_, reinterpret_cast<float*>(stream), static_cast<size_t>(bytes) / sizeof(float), NAN, NAN);
}
