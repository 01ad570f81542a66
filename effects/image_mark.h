// The image mark: a 24-bit picture read from a BMP file and laid over the frame.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "effects/bgr_frame.h"

namespace kestrel {

// An owned 24-bit picture with rows packed top-down (stride = 3 * width).
struct TBgrImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;

  // A frame over the bytes; the image mark is only read through it.
  TBgrFrame View() const {
    return {const_cast<std::uint8_t*>(bytes.data()), width, height, 3 * width};
  }
};

// Lays `mark` with its top-left corner at (x, y). Style 1 mixes
// ((256 - alpha) * frame + alpha * mark) >> 8 per channel; any other style multiplies
// (mark * frame / 255), so white leaves the frame and black blacks it out. The mark is
// clipped at every edge of the frame; alpha is held to 0..256.
void BlendImageMark(const TBgrFrame& frame, const TBgrFrame& mark, int x, int y, int alpha,
                    int style);

// Reads a BMP file (file names are bytes, as on disk) into a 24-bit picture; raises
// TEffectsError with the reason when the file cannot be read as a BMP picture.
TBgrImage LoadMarkImage(const std::string& path);

// Decoded marks kept between frames. The file is read on every Get and decoded again
// only when the path or the file's bytes differ from the cached ones, so any change of
// the file takes effect on the next frame, however quickly it was rewritten. Safe to
// share between threads.
class TMarkImageCache {
 public:
  std::shared_ptr<const TBgrImage> Get(const std::string& path);
  void Clear();

 private:
  std::mutex mutex_;
  std::string path_;                        // guarded by mutex_
  std::vector<std::uint8_t> file_bytes_;    // guarded by mutex_
  std::shared_ptr<const TBgrImage> image_;  // guarded by mutex_
};

}  // namespace kestrel
