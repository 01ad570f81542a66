// A 24-bit B, G, R picture kept between frames, with cached bicubic scalers to and from
// the decoder's pictures: what hooks and previews are handed.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/task_records.h"
#include "medialib/av.h"

namespace kestrel {

class TRgbPicture {
 public:
  TRgbPicture() = default;
  ~TRgbPicture();
  TRgbPicture(const TRgbPicture&) = delete;
  TRgbPicture& operator=(const TRgbPicture&) = delete;

  // Converts `frame` at its own size; false when no scaler can be made for it.
  bool FromFrame(const AVFrame& frame);
  // Converts the picture back into `frame` (made writable first); false when no scaler
  // can be made or the frame cannot be made writable.
  bool ToFrame(AVFrame& frame);
  // The picture of the last FromFrame; rows 4-byte aligned.
  TFramePicture& Picture() { return picture_; }

 private:
  std::vector<uint8_t> buffer_;
  TFramePicture picture_;
  SwsContext* to_rgb_ = nullptr;
  SwsContext* from_rgb_ = nullptr;
};

}  // namespace kestrel
