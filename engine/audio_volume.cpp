#include "engine/audio_volume.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "medialib/av.h"

namespace kestrel {
namespace {

template <typename Wide, typename Sample>
Sample ScaleInteger(Sample s, int vol, Wide low, Wide high) {
  const Wide scaled = (static_cast<Wide>(s) * vol + 128) >> 8;
  return static_cast<Sample>(std::clamp(scaled, low, high));
}

void ScaleU8(uint8_t* p, int count, int vol) {
  for (int i = 0; i < count; ++i) {
    const int centred = ScaleInteger<int>(static_cast<int>(p[i]) - 128, vol, -128, 127);
    p[i] = static_cast<uint8_t>(centred + 128);
  }
}

template <typename Wide, typename Sample>
void ScaleSigned(uint8_t* bytes, int count, int vol) {
  auto* p = reinterpret_cast<Sample*>(bytes);
  constexpr Wide low = static_cast<Wide>(std::numeric_limits<Sample>::min());
  constexpr Wide high = static_cast<Wide>(std::numeric_limits<Sample>::max());
  for (int i = 0; i < count; ++i) p[i] = ScaleInteger<Wide, Sample>(p[i], vol, low, high);
}

template <typename Real>
void ScaleReal(uint8_t* bytes, int count, int vol) {
  auto* p = reinterpret_cast<Real*>(bytes);
  const Real gain = static_cast<Real>(vol) / 256;
  for (int i = 0; i < count; ++i) p[i] *= gain;
}

void ScalePlane(AVSampleFormat packed_format, uint8_t* plane, int count, int vol) {
  switch (packed_format) {
    case AV_SAMPLE_FMT_U8:
      ScaleU8(plane, count, vol);
      break;
    case AV_SAMPLE_FMT_S16:
      ScaleSigned<int32_t, int16_t>(plane, count, vol);
      break;
    case AV_SAMPLE_FMT_S32:
      ScaleSigned<int64_t, int32_t>(plane, count, vol);
      break;
    case AV_SAMPLE_FMT_S64:
      ScaleSigned<__int128, int64_t>(plane, count, vol);
      break;
    case AV_SAMPLE_FMT_FLT:
      ScaleReal<float>(plane, count, vol);
      break;
    case AV_SAMPLE_FMT_DBL:
      ScaleReal<double>(plane, count, vol);
      break;
    default:
      break;
  }
}

}  // namespace

void ApplyVolume(AVFrame& frame, int vol) {
  if (vol == kUnityVolume || frame.nb_samples <= 0) return;
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const int channels = frame.ch_layout.nb_channels;
  const bool planar = av::av_sample_fmt_is_planar(format) != 0;
  const AVSampleFormat packed = av::av_get_packed_sample_fmt(format);
  const int planes = planar ? channels : 1;
  const int per_plane = planar ? frame.nb_samples : frame.nb_samples * channels;
  for (int i = 0; i < planes; ++i) ScalePlane(packed, frame.extended_data[i], per_plane, vol);
}

}  // namespace kestrel
