#include "engine/audio_resampler.h"

#include <algorithm>
#include <utility>

namespace kestrel {

AudioChannelLayout::AudioChannelLayout(const AVChannelLayout& layout) {
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC || av::av_channel_layout_check(&layout) == 0)
    av::av_channel_layout_default(&layout_, layout.nb_channels);
  else
    av::av_channel_layout_copy(&layout_, &layout);
}

AudioChannelLayout::AudioChannelLayout(const AudioChannelLayout& other) {
  av::av_channel_layout_copy(&layout_, &other.layout_);
}

AudioChannelLayout& AudioChannelLayout::operator=(const AudioChannelLayout& other) {
  if (this != &other) av::av_channel_layout_copy(&layout_, &other.layout_);
  return *this;
}

AudioChannelLayout::~AudioChannelLayout() {
  if (av::av_channel_layout_uninit) av::av_channel_layout_uninit(&layout_);
}

bool AudioChannelLayout::operator==(const AudioChannelLayout& other) const {
  return av::av_channel_layout_compare(&layout_, &other.layout_) == 0;
}

AudioParams AudioParams::OfFrame(const AVFrame& frame) {
  return {static_cast<AVSampleFormat>(frame.format), frame.sample_rate,
          AudioChannelLayout(frame.ch_layout)};
}

AudioParams AudioParams::OfEncoder(const AVCodecContext& encoder) {
  return {encoder.sample_fmt, encoder.sample_rate, AudioChannelLayout(encoder.ch_layout)};
}

AudioSampleBuffer::AudioSampleBuffer(AVSampleFormat format, int channels)
    : format_(format),
      channels_(channels),
      planes_(av::av_sample_fmt_is_planar(format) ? std::max(channels, 1) : 1, nullptr) {}

AudioSampleBuffer::~AudioSampleBuffer() {
  if (planes_[0]) av::av_freep(&planes_[0]);
}

bool AudioSampleBuffer::Reserve(int samples) {
  if (samples <= capacity_) return true;
  std::vector<uint8_t*> grown(planes_.size(), nullptr);
  if (av::av_samples_alloc(grown.data(), nullptr, channels_, samples, format_, 0) < 0) return false;
  if (planes_[0]) av::av_freep(&planes_[0]);
  planes_ = std::move(grown);
  capacity_ = samples;
  return true;
}

void AudioSampleBuffer::Silence(int samples) {
  av::av_samples_set_silence(planes_.data(), 0, samples, channels_, format_);
}

std::vector<const uint8_t*> OffsetPlanes(const uint8_t* const* planes, AVSampleFormat format,
                                         int channels, int offset) {
  const bool planar = av::av_sample_fmt_is_planar(format) != 0;
  const int count = planar ? channels : 1;
  const int step = av::av_get_bytes_per_sample(format) * (planar ? 1 : channels);
  std::vector<const uint8_t*> out(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out[i] = planes[i] + static_cast<ptrdiff_t>(offset) * step;
  return out;
}

std::unique_ptr<AudioResampler> AudioResampler::Create(const AudioParams& in,
                                                       const AudioParams& out, bool compensation) {
  if (in.sample_rate <= 0 || out.sample_rate <= 0 || in.layout.channels() <= 0 ||
      out.layout.channels() <= 0)
    return nullptr;
  SwrContext* context = nullptr;
  if (av::swr_alloc_set_opts2(&context, const_cast<AVChannelLayout*>(&out.layout.get()), out.format,
                              out.sample_rate, const_cast<AVChannelLayout*>(&in.layout.get()),
                              in.format, in.sample_rate, 0, nullptr) < 0)
    return nullptr;
  if (compensation) av::av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0);
  if (av::swr_init(context) < 0) {
    av::swr_free(&context);
    return nullptr;
  }
  return std::unique_ptr<AudioResampler>(new AudioResampler(context, in, out));
}

AudioResampler::AudioResampler(SwrContext* context, AudioParams in, AudioParams out)
    : context_(context), in_(std::move(in)), out_(std::move(out)) {}

AudioResampler::~AudioResampler() {
  av::swr_free(&context_);
}

int AudioResampler::Convert(const uint8_t* const* in, int samples, AudioSampleBuffer& out) {
  const int room = av::swr_get_out_samples(context_, in ? samples : 0);
  if (room < 0) return room;
  if (!out.Reserve(std::max(room, 1))) return AVERROR(ENOMEM);
  return av::swr_convert(context_, out.planes(), out.capacity(), const_cast<const uint8_t**>(in),
                         in ? samples : 0);
}

int64_t AudioResampler::DelaySamples() const {
  return av::swr_get_delay(context_, out_.sample_rate);
}

int AudioResampler::Compensate(int sample_delta, int distance) {
  return av::swr_set_compensation(context_, sample_delta, distance);
}

}  // namespace kestrel
