#include "platform/audio/AudioFile.h"

#include <algorithm>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

// A packet or frame the decoder rejects is skipped, as players do; this many in a row without
// a single good frame means the rest of the file is not worth trying.
constexpr int kFailuresBeforeGivingUp = 64;

struct Demuxer {
  AVFormatContext* format = nullptr;
  int stream = -1;

  Demuxer() = default;
  Demuxer(const Demuxer&) = delete;
  Demuxer& operator=(const Demuxer&) = delete;
  static constexpr int kMinRate = 1000, kMaxRate = 768000, kMaxChannels = 32;

  ~Demuxer() { avformat_close_input(&format); }

  bool open(const std::string& path, const AVCodec** decoder) {
    // A file that does not open, or decodes with a hitch, is no news: FFmpeg keeps quiet.
    av_log_set_level(AV_LOG_QUIET);
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(format, nullptr) < 0) return false;
    stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, decoder, 0);
    if (stream < 0) return false;
    // A header may claim anything; rates and channel counts beyond real sound are damage, and
    // would have us size buffers and resamplers by the gigabyte.
    const AVCodecParameters* codec = format->streams[stream]->codecpar;
    return codec->sample_rate >= kMinRate && codec->sample_rate <= kMaxRate && codec->ch_layout.nb_channels >= 1 &&
           codec->ch_layout.nb_channels <= kMaxChannels;
  }
  AVStream* audio() const { return format->streams[stream]; }
};

// The track's length in its own time base, when the container states it exactly enough to
// count samples by; -1 otherwise.
int64_t statedDuration(const AVFormatContext* format, const AVStream* stream) {
  // A length guessed from the bit rate (plain MP3) may cut real samples off.
  if (format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return -1;
  if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0) return -1;
  // A time base coarser than one sample (milliseconds in Matroska) cannot mark the last one.
  const int rate = stream->codecpar->sample_rate;
  if (static_cast<int64_t>(stream->time_base.num) * rate > stream->time_base.den) return -1;
  return stream->duration;
}

}  // namespace

struct AudioFile::Context {
  Demuxer demuxer;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  bool inputOver = false;

  ~Context() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
  }
};

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path) {
  auto context = std::make_unique<Context>();
  const AVCodec* decoder = nullptr;
  if (!context->demuxer.open(path, &decoder) || !decoder) return nullptr;
  const AVStream* stream = context->demuxer.audio();
  context->codec = avcodec_alloc_context3(decoder);
  context->packet = av_packet_alloc();
  context->frame = av_frame_alloc();
  if (!context->codec || !context->packet || !context->frame) return nullptr;
  if (avcodec_parameters_to_context(context->codec, stream->codecpar) < 0) return nullptr;
  context->codec->pkt_timebase = stream->time_base;
  if (avcodec_open2(context->codec, decoder, nullptr) < 0) return nullptr;

  const int64_t duration = statedDuration(context->demuxer.format, stream);
  std::unique_ptr<AudioFile> file(new AudioFile(std::move(context)));
  if (duration > 0) {
    file->length_ = av_rescale_q_rnd(duration, stream->time_base, AVRational{1, stream->codecpar->sample_rate},
                                     AV_ROUND_NEAR_INF);
  }
  return file;
}

bool AudioFile::readsToTheEnd(const std::string& path) {
  Demuxer demuxer;
  if (!demuxer.open(path, nullptr)) return false;
  const AVStream* stream = demuxer.audio();
  AVPacket* packet = av_packet_alloc();
  if (!packet) return false;
  int64_t first = INT64_MAX, reached = INT64_MIN;
  int status;
  while ((status = av_read_frame(demuxer.format, packet)) >= 0) {
    if (packet->stream_index == demuxer.stream) {
      const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (at != AV_NOPTS_VALUE) {
        first = std::min(first, at);
        reached = std::max(reached, at + packet->duration);
      }
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  if (status != AVERROR_EOF) return false;
  const int64_t duration = statedDuration(demuxer.format, stream);
  if (duration < 0) return true;
  // Some containers count the track from its first sample, others from the first packet, the
  // encoder's priming included (MP3, Opus): the earlier of the two serves for both.
  const int64_t start = stream->start_time != AV_NOPTS_VALUE ? std::min(first, stream->start_time) : first;
  return first != INT64_MAX && reached >= start + duration;
}

AudioFile::AudioFile(std::unique_ptr<Context> context) : context_(std::move(context)) {}
AudioFile::~AudioFile() = default;

int AudioFile::sampleRate() const { return context_->codec->sample_rate; }
int AudioFile::channels() const { return context_->codec->ch_layout.nb_channels; }

AVFrame* AudioFile::nextFrame() {
  Context& c = *context_;
  int failures = 0;
  while (!over_ && failures < kFailuresBeforeGivingUp) {
    const int received = avcodec_receive_frame(c.codec, c.frame);
    if (received == 0) {
      if (c.frame->nb_samples <= 0) continue;
      if (length_ >= 0) {
        const int64_t left = length_ - delivered_;
        if (left <= 0) break;  // what follows is the encoder's end padding
        c.frame->nb_samples = static_cast<int>(std::min<int64_t>(c.frame->nb_samples, left));
      }
      delivered_ += c.frame->nb_samples;
      return c.frame;
    }
    if (received == AVERROR_EOF) break;
    if (received != AVERROR(EAGAIN)) {
      ++failures;
      continue;
    }
    if (c.inputOver) break;  // drained, yet the decoder neither ends nor gives frames

    const int read = av_read_frame(c.demuxer.format, c.packet);
    if (read < 0) {
      // End of file, or the file broke off: either way the decoder hands out what it holds.
      c.inputOver = true;
      avcodec_send_packet(c.codec, nullptr);
      continue;
    }
    if (c.packet->stream_index == c.demuxer.stream && avcodec_send_packet(c.codec, c.packet) < 0) ++failures;
    av_packet_unref(c.packet);
  }
  over_ = true;
  return nullptr;
}
