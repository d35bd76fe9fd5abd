#include "platform/audio/PulseOutput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>

#include "platform/Clock.h"
#include "platform/audio/StreamNames.h"

namespace {
double monotonicSeconds() { return static_cast<double>(monotonicMicros()) * 1e-6; }

// A report older than kOldestReport when it comes, or further than kEarliestReport in the future,
// straddles a step of the system clock, which its timestamp is on.
constexpr double kOldestReport = 5.0;
constexpr double kEarliestReport = 0.003;

pa_proplist* streamProperties() {
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, stream_names::kApplication);
  pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, stream_names::kStream);
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, stream_names::kRole);
  return properties;
}

constexpr pa_usec_t kAnswerWithin = 3 * PA_USEC_PER_SEC;  // libpulse's own wait is 30 s a step

// Waits, the loop locked, until the context or stream is ready (true) or never will be.
template <typename State>
bool waitReady(pa_threaded_mainloop* loop, State state, const std::atomic<bool>& lost) {
  while (!state() && !lost.load()) pa_threaded_mainloop_wait(loop);
  return state();
}
}  // namespace

PulseOutput::PulseOutput(int rate, int channels, int bufferFrames, Fill fill, void* user) : AudioDevice(fill, user) {
  rate_ = rate;
  channels_ = channels;
  bufferFrames_ = bufferFrames;
  driver_ = kTimedDriver;
}

std::unique_ptr<PulseOutput> PulseOutput::open(int rate, int channels, int bufferFrames, Fill fill, void* user,
                                               std::string& why) {
  std::unique_ptr<PulseOutput> output(new PulseOutput(rate, channels, bufferFrames, fill, user));
  PulseOutput& self = *output;
  self.loop_ = pa_threaded_mainloop_new();
  if (!self.loop_) return nullptr;
  pa_proplist* properties = streamProperties();
  self.context_ =
      pa_context_new_with_proplist(pa_threaded_mainloop_get_api(self.loop_), stream_names::kApplication, properties);
  if (!self.context_) {
    pa_proplist_free(properties);
    return nullptr;
  }
  pa_context_set_state_callback(self.context_, &PulseOutput::onContextState, &self);
  if (pa_context_connect(self.context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(self.loop_) < 0) {
    why = pa_strerror(pa_context_errno(self.context_));
    pa_proplist_free(properties);
    return nullptr;
  }
  pa_threaded_mainloop_lock(self.loop_);
  // A server that is there but does not answer (stopped, or starting) would hold the caller for
  // half a minute a step: it is given up on sooner.
  pa_time_event* late = pa_context_rttime_new(
      self.context_, pa_rtclock_now() + kAnswerWithin,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* output) {
        static_cast<PulseOutput*>(output)->lost_ = true;
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(output)->loop_, 0);
      },
      &self);
  bool ready = waitReady(
      self.loop_, [&] { return pa_context_get_state(self.context_) == PA_CONTEXT_READY; }, self.lost_);
  if (ready) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate), static_cast<uint8_t>(channels)};
    pa_channel_map map;
    pa_channel_map_init_extend(&map, static_cast<unsigned>(channels), PA_CHANNEL_MAP_DEFAULT);
    self.stream_ = pa_stream_new_with_proplist(self.context_, stream_names::kStream, &format, &map, properties);
    ready = self.stream_ != nullptr;
  }
  if (self.stream_) {
    pa_stream_set_state_callback(self.stream_, &PulseOutput::onStreamState, &self);
    pa_stream_set_write_callback(self.stream_, &PulseOutput::onWrite, &self);
    const uint32_t frameBytes = static_cast<uint32_t>(sizeof(float) * channels);
    const pa_buffer_attr buffer{static_cast<uint32_t>(-1), frameBytes * static_cast<uint32_t>(bufferFrames),
                                static_cast<uint32_t>(-1), static_cast<uint32_t>(-1), static_cast<uint32_t>(-1)};
    // Timing reports only as asked for after each write, just after the server's cycle took what it
    // read: ones made anywhere in a cycle (libpulse's own, once a second) are late by up to a cycle.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    ready = pa_stream_connect_playback(self.stream_, nullptr, &buffer, flags, nullptr, nullptr) == 0 &&
            waitReady(
                self.loop_, [&] { return pa_stream_get_state(self.stream_) == PA_STREAM_READY; }, self.lost_);
  }
  if (late) pa_threaded_mainloop_get_api(self.loop_)->time_free(late);
  if (!ready) {
    const int error = pa_context_errno(self.context_);
    why = error != PA_OK ? pa_strerror(error) : "the sound server did not answer";
  }
  pa_threaded_mainloop_unlock(self.loop_);
  pa_proplist_free(properties);
  return ready ? std::move(output) : nullptr;
}

PulseOutput::~PulseOutput() {
  if (loop_) pa_threaded_mainloop_stop(loop_);  // no callback runs after this but the ones below
  if (stream_) {
    pa_stream_set_state_callback(stream_, nullptr, nullptr);  // a disconnect calls it here
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  if (loop_) pa_threaded_mainloop_free(loop_);
}

void PulseOutput::start() {
  pa_threaded_mainloop_lock(loop_);
  started_ = true;
  const size_t wanted = pa_stream_writable_size(stream_);
  if (wanted != static_cast<size_t>(-1)) write(wanted);  // what was asked for while paused
  if (pa_operation* uncork = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(uncork);
  pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::onContextState(pa_context* context, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  const pa_context_state_t state = pa_context_get_state(context);
  if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) output->lost_ = true;
  pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::onStreamState(pa_stream* stream, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) output->lost_ = true;
  pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::onWrite(pa_stream*, size_t bytes, void* self) { static_cast<PulseOutput*>(self)->write(bytes); }

void PulseOutput::write(size_t bytes) {
  const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
  if (!started_) return;
  // The server's buffers may be smaller than what it asks for: as many as that takes.
  while (bytes >= frameBytes) {
    void* data = nullptr;
    size_t size = bytes / frameBytes * frameBytes;
    if (pa_stream_begin_write(stream_, &data, &size) < 0 || !data || size < frameBytes) return;
    const size_t frames = size / frameBytes;
    const double until = untilHeard();
    fill(static_cast<float*>(data), frames * static_cast<size_t>(channels_), until, heard_.drift());
    pa_stream_write(stream_, data, frames * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
    written_ += frames;
    bytes -= frames * frameBytes;
  }
  // A fresh report for the next write: it places the samples the server is playing now.
  if (pa_operation* update = pa_stream_update_timing_info(stream_, &PulseOutput::onTiming, this))
    pa_operation_unref(update);
}

void PulseOutput::onTiming(pa_stream* stream, int success, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  const pa_timing_info* timing = success ? pa_stream_get_timing_info(stream) : nullptr;
  if (!timing || timing->read_index_corrupt) return;
  if (!timing->playing) {  // stopped (run dry, or moved)
    output->heard_.forget();
    return;
  }
  // What the server had read of the stream, less what its sink still held, was being heard then;
  // "then" is on the system clock, and is placed on the monotonic one by its age.
  const int64_t stamp = static_cast<int64_t>(timing->timestamp.tv_sec) * 1000000 + timing->timestamp.tv_usec;
  const double age = static_cast<double>(systemTimeMicros() - stamp) * 1e-6;
  if (age < -kEarliestReport || age > kOldestReport) return;
  const double read =
      static_cast<double>(timing->read_index) / (sizeof(float) * static_cast<size_t>(output->channels_));
  const double heard = read - 1e-6 * static_cast<double>(timing->sink_usec) * output->rate_;
  const double at = monotonicSeconds() - age;
  output->heard_.note(at, at - heard / output->rate_);
}

double PulseOutput::untilHeard() const {
  if (!heard_.known()) return INFINITY;
  return heard_.heardZero() + static_cast<double>(written_) / rate_ - monotonicSeconds();
}
