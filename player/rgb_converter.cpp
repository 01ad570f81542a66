#include "player/rgb_converter.h"

#include "medialib/av.h"

namespace kestrel {

bool ConvertToBgr(SwsContext*& cache, const AVFrame* picture, TBitmap& out, int scale_flags) {
  cache = av::sws_getCachedContext(
      cache, picture->width, picture->height, static_cast<AVPixelFormat>(picture->format),
      picture->width, picture->height, AV_PIX_FMT_BGR24, scale_flags, nullptr, nullptr, nullptr);
  if (!cache) return false;
  if (out.Width != picture->width || out.Height != picture->height) {
    out.Resize(picture->width, picture->height);
  }
  uint8_t* planes[4] = {out.Bits.data(), nullptr, nullptr, nullptr};
  int strides[4] = {out.Stride, 0, 0, 0};
  av::sws_scale(cache, picture->data, picture->linesize, 0, picture->height, planes, strides);
  return true;
}

RGBConverter::~RGBConverter() {
  Reset();
}

void RGBConverter::Reset() {
  bitmap_ = TBitmap{};
  if (to_rgb_) av::sws_freeContext(to_rgb_);
  if (from_rgb_) av::sws_freeContext(from_rgb_);
  to_rgb_ = from_rgb_ = nullptr;
}

bool RGBConverter::ToBitmap(const AVFrame* picture) {
  return ConvertToBgr(to_rgb_, picture, bitmap_, kRgbRoundTripScaleFlags);
}

bool RGBConverter::FromBitmap(AVFrame* picture) {
  from_rgb_ = av::sws_getCachedContext(from_rgb_, bitmap_.Width, bitmap_.Height, AV_PIX_FMT_BGR24,
                                       picture->width, picture->height,
                                       static_cast<AVPixelFormat>(picture->format),
                                       kRgbRoundTripScaleFlags, nullptr, nullptr, nullptr);
  if (!from_rgb_) return false;
  const uint8_t* planes[4] = {bitmap_.Bits.data(), nullptr, nullptr, nullptr};
  int strides[4] = {bitmap_.Stride, 0, 0, 0};
  av::sws_scale(from_rgb_, planes, strides, 0, bitmap_.Height, picture->data, picture->linesize);
  return true;
}

}  // namespace kestrel
