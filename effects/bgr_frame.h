// The picture every effect works on: 24-bit pixels in blue, green, red byte order,
// addressed through a row stride. The type only describes memory it does not own, so a
// decoded frame, a bitmap or a window's back buffer is wrapped without copying.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestrel {

// `data` points at the top row; row y starts at data + y * stride. A negative stride
// describes a bottom-up picture (rows stored last to first). The layout is the same as
// the engine's hook picture, so one converts to the other field by field.
struct TBgrFrame {
  std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;

  bool Empty() const { return data == nullptr || width <= 0 || height <= 0; }
  std::uint8_t* Row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

// Raised for a frame whose stride cannot hold its rows; every operation checks this
// before it touches a pixel.
inline void CheckFrame(const TBgrFrame& frame, const char* what) {
  if (frame.Empty()) return;
  const long long row_bytes = 3LL * frame.width;
  const long long stride = frame.stride < 0 ? -static_cast<long long>(frame.stride) : frame.stride;
  if (stride < row_bytes) {
    throw std::invalid_argument(std::string(what) + ": row stride " + std::to_string(frame.stride) +
                                " is shorter than " + std::to_string(row_bytes) +
                                " bytes of a row");
  }
}

}  // namespace kestrel
