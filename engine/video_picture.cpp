#include "engine/video_picture.h"

#include "medialib/scale_flags.h"

namespace kestrel {

TRgbPicture::~TRgbPicture() {
  av::sws_freeContext(to_rgb_);
  av::sws_freeContext(from_rgb_);
}

bool TRgbPicture::FromFrame(const AVFrame& frame) {
  const int width = frame.width;
  const int height = frame.height;
  const int stride = (width * 3 + 3) & ~3;
  if (buffer_.size() != static_cast<size_t>(stride) * height)
    buffer_.assign(static_cast<size_t>(stride) * height, 0);
  picture_ = TFramePicture{buffer_.data(), width, height, stride};
  to_rgb_ = av::sws_getCachedContext(
      to_rgb_, width, height, static_cast<AVPixelFormat>(frame.format), width, height,
      AV_PIX_FMT_BGR24, kRgbRoundTripScaleFlags, nullptr, nullptr, nullptr);
  if (!to_rgb_) return false;
  uint8_t* dst[4] = {buffer_.data(), nullptr, nullptr, nullptr};
  int dst_stride[4] = {stride, 0, 0, 0};
  av::sws_scale(to_rgb_, frame.data, frame.linesize, 0, height, dst, dst_stride);
  return true;
}

bool TRgbPicture::ToFrame(AVFrame& frame) {
  if (av::av_frame_make_writable(&frame) < 0) return false;
  from_rgb_ = av::sws_getCachedContext(
      from_rgb_, picture_.width, picture_.height, AV_PIX_FMT_BGR24, frame.width, frame.height,
      static_cast<AVPixelFormat>(frame.format), kRgbRoundTripScaleFlags, nullptr, nullptr, nullptr);
  if (!from_rgb_) return false;
  const uint8_t* src[4] = {picture_.data, nullptr, nullptr, nullptr};
  int src_stride[4] = {picture_.stride, 0, 0, 0};
  av::sws_scale(from_rgb_, src, src_stride, 0, picture_.height, frame.data, frame.linesize);
  return true;
}

}  // namespace kestrel
