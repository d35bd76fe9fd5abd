#include "platform/audio/Stretcher.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {
// A stretch is spread over ten seconds of samples: fine enough for a few parts per million.
constexpr int kSpreadSeconds = 10;
}  // namespace

std::unique_ptr<Stretcher> Stretcher::make(int rate, int channels) {
  AVChannelLayout layout{};
  av_channel_layout_default(&layout, channels);
  SwrContext* swr = nullptr;
  const int made =
      swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_FLT, rate, &layout, AV_SAMPLE_FMT_FLT, rate, 0, nullptr);
  av_channel_layout_uninit(&layout);
  // Resampling even at the same rate: the only way a stretch can be asked for later.
  if (made < 0 || av_opt_set_int(swr, "flags", SWR_FLAG_RESAMPLE, 0) < 0 || swr_init(swr) < 0) {
    swr_free(&swr);
    return nullptr;
  }
  return std::unique_ptr<Stretcher>(new Stretcher(swr, rate, channels));
}

Stretcher::~Stretcher() { swr_free(&swr_); }

void Stretcher::setStretch(double stretch) {
  const int distance = rate_ * kSpreadSeconds;
  swr_set_compensation(swr_, static_cast<int>(std::lround(stretch * distance)), distance);
}

size_t Stretcher::process(const float* in, size_t frames, std::vector<float>& out) {
  const int room = swr_get_out_samples(swr_, static_cast<int>(frames));
  if (room <= 0) return 0;
  out.resize(static_cast<size_t>(room) * channels_);
  auto* to = reinterpret_cast<uint8_t*>(out.data());
  const auto* from = reinterpret_cast<const uint8_t*>(in);
  const int made = swr_convert(swr_, &to, room, &from, static_cast<int>(frames));
  out.resize(static_cast<size_t>(std::max(made, 0)) * channels_);
  return static_cast<size_t>(std::max(made, 0));
}

double Stretcher::heldFrames() const { return static_cast<double>(swr_get_delay(swr_, rate_)); }
