#include "platform/video/VideoEncoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kVideo = 0, kAudio = 1;
constexpr int64_t kAudioBitRate = 192000;
constexpr double kSecondsBetweenKeyFrames = 2.0;  // how far a seek may have to decode

std::string reason(int status) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(status, text, sizeof text);
  return text;
}

// Hands the encoder the frame's nb_samples samples from `interleaved`, stamped as the ones that
// follow the `sent` samples before them; the encoder takes one plane per channel.
int sendSamples(AVCodecContext* encoder, AVFrame* frame, const float* interleaved, int64_t& sent) {
  const int channels = frame->ch_layout.nb_channels;
  for (int ch = 0; ch < channels; ++ch) {
    auto* plane = reinterpret_cast<float*>(frame->data[ch]);
    for (int i = 0; i < frame->nb_samples; ++i) plane[i] = interleaved[static_cast<size_t>(i) * channels + ch];
  }
  frame->pts = sent;
  sent += frame->nb_samples;
  return avcodec_send_frame(encoder, frame);
}

}  // namespace

struct VideoEncoder::Context {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec[2] = {nullptr, nullptr};
  AVStream* stream[2] = {nullptr, nullptr};
  AVFrame* frame[2] = {nullptr, nullptr};
  AVPacket* packet = nullptr;
  SwsContext* converter = nullptr;
  int64_t framesIn = 0;    // video frames given
  int64_t samplesIn = 0;   // audio samples handed to the encoder
  std::vector<float> held;  // interleaved samples short of a whole encoder frame
  bool broken = false;

  ~Context() {
    sws_freeContext(converter);
    av_packet_free(&packet);
    for (int i : {kVideo, kAudio}) {
      av_frame_free(&frame[i]);
      avcodec_free_context(&codec[i]);
    }
    if (format && format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
  }
};

int VideoEncoder::aacRate(int rate) {
  static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
  int best = 48000;
  for (int r : kRates)
    if (std::abs(r - rate) < std::abs(best - rate)) best = r;
  return best;
}

std::unique_ptr<VideoEncoder> VideoEncoder::open(const std::string& path, const Settings& settings,
                                                 std::string& error) {
  auto c = std::make_unique<Context>();
  if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2) {
    error = "yuv420p video wants an even width and height";
    return nullptr;
  }
  int status = avformat_alloc_output_context2(&c->format, nullptr, "mp4", path.c_str());
  if (status < 0) {
    error = "no MP4 muxer: " + reason(status);
    return nullptr;
  }
  const bool globalHeader = c->format->oformat->flags & AVFMT_GLOBALHEADER;

  // Video: x264 when FFmpeg has it.
  const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
  if (!h264) h264 = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (!h264) {
    error = "FFmpeg has no H.264 encoder";
    return nullptr;
  }
  AVCodecContext* v = c->codec[kVideo] = avcodec_alloc_context3(h264);
  if (!v) {
    error = "out of memory";
    return nullptr;
  }
  const AVRational rate = av_d2q(settings.fps, 1001000);
  v->width = settings.width;
  v->height = settings.height;
  v->pix_fmt = AV_PIX_FMT_YUV420P;
  v->time_base = av_inv_q(rate);
  v->framerate = rate;
  v->gop_size = std::max(1, static_cast<int>(settings.fps * kSecondsBetweenKeyFrames));
  // HD colours, in the range players expect of yuv420p.
  v->color_primaries = AVCOL_PRI_BT709;
  v->color_trc = AVCOL_TRC_BT709;
  v->colorspace = AVCOL_SPC_BT709;
  v->color_range = AVCOL_RANGE_MPEG;
  if (globalHeader) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* videoOptions = nullptr;
  av_dict_set_int(&videoOptions, "crf", settings.quality, 0);
  av_dict_set(&videoOptions, "preset", settings.speed, 0);
  status = avcodec_open2(v, h264, &videoOptions);
  av_dict_free(&videoOptions);
  if (status < 0) {
    error = "the H.264 encoder refuses " + std::to_string(settings.width) + "x" + std::to_string(settings.height) +
            " at " + std::to_string(settings.fps) + " fps: " + reason(status);
    return nullptr;
  }

  // Sound.
  if (settings.audioRate > 0) {
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    AVCodecContext* a = c->codec[kAudio] = aac ? avcodec_alloc_context3(aac) : nullptr;
    if (!a) {
      error = "FFmpeg has no AAC encoder";
      return nullptr;
    }
    a->sample_fmt = AV_SAMPLE_FMT_FLTP;
    a->sample_rate = settings.audioRate;
    av_channel_layout_default(&a->ch_layout, settings.audioChannels);
    a->bit_rate = kAudioBitRate;
    a->time_base = AVRational{1, settings.audioRate};
    if (globalHeader) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    status = avcodec_open2(a, aac, nullptr);
    if (status < 0) {
      error = "the AAC encoder refuses " + std::to_string(settings.audioRate) + " Hz, " +
              std::to_string(settings.audioChannels) + " channels: " + reason(status);
      return nullptr;
    }
  }

  c->packet = av_packet_alloc();
  if (!c->packet) {
    error = "out of memory";
    return nullptr;
  }
  for (int i : {kVideo, kAudio}) {
    AVCodecContext* codec = c->codec[i];
    if (!codec) continue;
    AVStream* stream = c->stream[i] = avformat_new_stream(c->format, nullptr);
    AVFrame* frame = c->frame[i] = av_frame_alloc();
    if (!stream || !frame || avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
      error = "out of memory";
      return nullptr;
    }
    stream->time_base = codec->time_base;
    if (i == kVideo) {
      stream->avg_frame_rate = rate;
      frame->format = codec->pix_fmt;
      frame->width = codec->width;
      frame->height = codec->height;
    } else {
      frame->format = codec->sample_fmt;
      frame->sample_rate = codec->sample_rate;
      frame->nb_samples = codec->frame_size;
      av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
    }
    if (av_frame_get_buffer(frame, 0) < 0) {
      error = "out of memory";
      return nullptr;
    }
  }

  c->converter = sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGBA, settings.width, settings.height,
                                AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!c->converter) {
    error = "no colour converter for RGBA to yuv420p";
    return nullptr;
  }
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(c->converter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);

  status = avio_open(&c->format->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (status < 0) {
    error = reason(status);
    return nullptr;
  }
  AVDictionary* muxerOptions = nullptr;
  av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
  status = avformat_write_header(c->format, &muxerOptions);
  av_dict_free(&muxerOptions);
  if (status < 0) {
    error = reason(status);
    return nullptr;
  }
  return std::unique_ptr<VideoEncoder>(new VideoEncoder(std::move(c)));
}

VideoEncoder::VideoEncoder(std::unique_ptr<Context> context) : context_(std::move(context)) {}
VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::fail(const std::string& what, int status) {
  context_->broken = true;
  error_ = what + ": " + reason(status);
  return false;
}

bool VideoEncoder::addFrame(const uint8_t* rgba, ptrdiff_t stride) {
  Context& c = *context_;
  if (c.broken) return false;
  AVFrame* frame = c.frame[kVideo];
  // The encoder may still hold the last frame's pictures.
  int status = av_frame_make_writable(frame);
  if (status < 0) return fail("video frame", status);
  if (stride < INT_MIN || stride > INT_MAX) return fail("video frame", AVERROR(EINVAL));
  const int strides[] = {static_cast<int>(stride)};
  sws_scale(c.converter, &rgba, strides, 0, frame->height, frame->data, frame->linesize);
  frame->pts = c.framesIn++;
  status = avcodec_send_frame(c.codec[kVideo], frame);
  if (status < 0) return fail("H.264 encoder", status);
  return encode(kVideo);
}

bool VideoEncoder::addAudio(const float* samples, size_t frames) {
  Context& c = *context_;
  if (c.broken) return false;
  if (!c.codec[kAudio]) return true;
  const int channels = c.codec[kAudio]->ch_layout.nb_channels;
  c.held.insert(c.held.end(), samples, samples + frames * channels);
  AVFrame* frame = c.frame[kAudio];
  const size_t whole = static_cast<size_t>(c.codec[kAudio]->frame_size) * channels;
  size_t at = 0;
  for (; c.held.size() - at >= whole; at += whole) {
    int status = av_frame_make_writable(frame);
    if (status < 0) return fail("audio frame", status);
    status = sendSamples(c.codec[kAudio], frame, c.held.data() + at, c.samplesIn);
    if (status < 0) return fail("AAC encoder", status);
    if (!encode(kAudio)) return false;
  }
  c.held.erase(c.held.begin(), c.held.begin() + static_cast<ptrdiff_t>(at));
  return true;
}

bool VideoEncoder::encode(int stream) {
  Context& c = *context_;
  AVCodecContext* codec = c.codec[stream];
  for (;;) {
    int status = avcodec_receive_packet(codec, c.packet);
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
    if (status < 0) return fail(stream == kVideo ? "H.264 encoder" : "AAC encoder", status);
    av_packet_rescale_ts(c.packet, codec->time_base, c.stream[stream]->time_base);
    c.packet->stream_index = c.stream[stream]->index;
    status = av_interleaved_write_frame(c.format, c.packet);
    if (status >= 0 && c.format->pb->error < 0) status = c.format->pb->error;
    if (status < 0) return fail("writing", status);
  }
}

bool VideoEncoder::finish() {
  Context& c = *context_;
  if (c.broken) return false;
  if (AVCodecContext* a = c.codec[kAudio]) {
    const int channels = a->ch_layout.nb_channels;
    const int left = static_cast<int>(c.held.size() / channels);
    if (left > 0) {
      // The last frame may be short; the container's length then ends on the last real sample.
      AVFrame* last = av_frame_alloc();
      if (!last) return fail("audio frame", AVERROR(ENOMEM));
      last->format = a->sample_fmt;
      last->sample_rate = a->sample_rate;
      last->nb_samples = left;
      av_channel_layout_copy(&last->ch_layout, &a->ch_layout);
      int status = av_frame_get_buffer(last, 0);
      if (status >= 0) status = sendSamples(a, last, c.held.data(), c.samplesIn);
      av_frame_free(&last);
      c.held.clear();
      if (status < 0) return fail("AAC encoder", status);
    }
  }
  for (int i : {kVideo, kAudio}) {
    if (!c.codec[i]) continue;
    const int status = avcodec_send_frame(c.codec[i], nullptr);
    if (status < 0) return fail(i == kVideo ? "H.264 encoder" : "AAC encoder", status);
    if (!encode(i)) return false;
  }
  int status = av_write_trailer(c.format);
  if (status >= 0 && c.format->pb->error < 0) status = c.format->pb->error;
  if (status < 0) return fail("writing", status);
  status = avio_closep(&c.format->pb);
  if (status < 0) return fail("writing", status);
  c.broken = true;  // nothing more goes in
  return true;
}
