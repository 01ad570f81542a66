// Converts pictures of the picture queue to 24-bit BGR bitmaps and back, with cached
// bicubic scaler contexts; the hook's round trip gives unpainted pixels back unchanged.
#pragma once

#include "medialib/scale_flags.h"
#include "player/player_types.h"

extern "C" {
struct AVFrame;
struct SwsContext;
}

namespace kestrel {

class RGBConverter {
 public:
  RGBConverter() = default;
  ~RGBConverter();
  RGBConverter(const RGBConverter&) = delete;
  RGBConverter& operator=(const RGBConverter&) = delete;

  // Frees the bitmap and both scaler contexts.
  void Reset();
  // Picture to Bitmap() at the picture's size; false when no scaler context can be made.
  bool ToBitmap(const AVFrame* picture);
  // Bitmap() back into the picture (same size); false when no context can be made.
  bool FromBitmap(AVFrame* picture);
  TBitmap& Bitmap() { return bitmap_; }

 private:
  TBitmap bitmap_;
  SwsContext* to_rgb_ = nullptr;
  SwsContext* from_rgb_ = nullptr;
};

// Converts a YUV picture to a BGR bitmap with a cached context (null on failure).
// The display path takes the plain bicubic scaler; the hook's round trip passes
// kRgbRoundTripScaleFlags so that unpainted pixels come back as they were.
bool ConvertToBgr(SwsContext*& cache, const AVFrame* picture, TBitmap& out,
                  int scale_flags = SWS_BICUBIC);

}  // namespace kestrel
