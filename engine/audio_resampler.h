// Sample buffers and the libswresample converter of the audio output path: rate, sample
// format and channel changes, and the drift compensation of the resampler.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "medialib/av.h"

namespace kestrel {

// An owned channel layout; a layout of unspecified order becomes the default layout of its
// channel count, so that two streams with the same count compare equal.
class AudioChannelLayout {
 public:
  AudioChannelLayout() = default;
  explicit AudioChannelLayout(const AVChannelLayout& layout);
  AudioChannelLayout(const AudioChannelLayout& other);
  AudioChannelLayout& operator=(const AudioChannelLayout& other);
  ~AudioChannelLayout();

  const AVChannelLayout& get() const { return layout_; }
  int channels() const { return layout_.nb_channels; }
  bool operator==(const AudioChannelLayout& other) const;

 private:
  AVChannelLayout layout_{};
};

// Sample format, rate and channel layout of one side of a conversion.
struct AudioParams {
  AVSampleFormat format = AV_SAMPLE_FMT_NONE;
  int sample_rate = 0;
  AudioChannelLayout layout;

  static AudioParams OfFrame(const AVFrame& frame);
  static AudioParams OfEncoder(const AVCodecContext& encoder);
  bool operator==(const AudioParams& other) const = default;
};

// Samples of one format and channel count, planar or packed, grown on demand and never
// shrunk.
class AudioSampleBuffer {
 public:
  AudioSampleBuffer(AVSampleFormat format, int channels);
  ~AudioSampleBuffer();
  AudioSampleBuffer(const AudioSampleBuffer&) = delete;
  AudioSampleBuffer& operator=(const AudioSampleBuffer&) = delete;

  // Makes room for at least `samples`; false when memory runs out (the old contents are
  // then kept).
  bool Reserve(int samples);
  // Fills the first `samples` with silence.
  void Silence(int samples);
  uint8_t** planes() { return planes_.data(); }
  int capacity() const { return capacity_; }

 private:
  AVSampleFormat format_;
  int channels_;
  int capacity_ = 0;
  std::vector<uint8_t*> planes_;
};

// Pointers to the samples of `planes` starting `offset` samples in.
std::vector<const uint8_t*> OffsetPlanes(const uint8_t* const* planes, AVSampleFormat format,
                                         int channels, int offset);

// One libswresample context from input to output parameters.
class AudioResampler {
 public:
  // Null when the libraries refuse the pair. `compensation` forces the resampling stage so
  // that Compensate works even at equal rates.
  static std::unique_ptr<AudioResampler> Create(const AudioParams& in, const AudioParams& out,
                                                bool compensation);
  ~AudioResampler();
  AudioResampler(const AudioResampler&) = delete;
  AudioResampler& operator=(const AudioResampler&) = delete;

  // Converts `samples` input samples into `out` (grown as needed); returns the number of
  // output samples, or a negative error number. Null input drains the held-back samples.
  int Convert(const uint8_t* const* in, int samples, AudioSampleBuffer& out);
  // Samples held inside the converter, counted at the output rate.
  int64_t DelaySamples() const;
  // Spreads `sample_delta` extra (or fewer) output samples over the next `distance`.
  int Compensate(int sample_delta, int distance);
  const AudioParams& input() const { return in_; }

 private:
  AudioResampler(SwrContext* context, AudioParams in, AudioParams out);
  SwrContext* context_;
  AudioParams in_;
  AudioParams out_;
};

}  // namespace kestrel
