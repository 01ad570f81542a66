#include "effects/image_mark.h"

#include <algorithm>

namespace kestrel {
namespace {

void BlendRowAlpha(std::uint8_t* f, const std::uint8_t* m, int bytes, int alpha) {
  const unsigned keep = 256 - alpha;
  const unsigned take = alpha;
  for (int i = 0; i < bytes; ++i)
    f[i] = static_cast<std::uint8_t>((keep * f[i] + take * m[i]) >> 8);
}

void BlendRowMultiply(std::uint8_t* f, const std::uint8_t* m, int bytes) {
  for (int i = 0; i < bytes; ++i) f[i] = static_cast<std::uint8_t>(unsigned{f[i]} * m[i] / 255);
}

}  // namespace

void BlendImageMark(const TBgrFrame& frame, const TBgrFrame& mark, int x, int y, int alpha,
                    int style) {
  CheckFrame(frame, "BlendImageMark");
  CheckFrame(mark, "BlendImageMark mark");
  if (frame.Empty() || mark.Empty()) return;
  // The visible part of the mark, in mark coordinates; 64-bit so no edge sum overflows.
  const long long c0 = std::max(0LL, -static_cast<long long>(x));
  const long long r0 = std::max(0LL, -static_cast<long long>(y));
  const long long c1 = std::min<long long>(mark.width, static_cast<long long>(frame.width) - x);
  const long long r1 = std::min<long long>(mark.height, static_cast<long long>(frame.height) - y);
  if (c1 <= c0 || r1 <= r0) return;
  const int bytes = static_cast<int>(3 * (c1 - c0));
  alpha = std::clamp(alpha, 0, 256);
  for (long long r = r0; r < r1; ++r) {
    std::uint8_t* f = frame.Row(static_cast<int>(y + r)) + 3 * (x + c0);
    const std::uint8_t* m = mark.Row(static_cast<int>(r)) + 3 * c0;
    if (style == 1) {
      BlendRowAlpha(f, m, bytes, alpha);
    } else {
      BlendRowMultiply(f, m, bytes);
    }
  }
}

}  // namespace kestrel
