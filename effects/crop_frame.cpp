#include "effects/crop_frame.h"

#include <algorithm>

namespace kestrel {
namespace {

constexpr int kPenWidth = 2;
constexpr std::uint8_t kPenBgr[3] = {0, 128, 0};

// Fills [left, right) x [top, bottom), clipped to the frame.
void FillRect(const TBgrFrame& frame, long long left, long long top, long long right,
              long long bottom) {
  left = std::max(left, 0LL);
  top = std::max(top, 0LL);
  right = std::min<long long>(right, frame.width);
  bottom = std::min<long long>(bottom, frame.height);
  for (long long y = top; y < bottom; ++y) {
    std::uint8_t* p = frame.Row(static_cast<int>(y));
    for (long long x = left; x < right; ++x) {
      std::copy(kPenBgr, kPenBgr + 3, p + 3 * x);
    }
  }
}

}  // namespace

void DrawCropFrame(const TBgrFrame& frame, int crop_top, int crop_left, int crop_bottom,
                   int crop_right, TCropFrameForm form) {
  CheckFrame(frame, "DrawCropFrame");
  if (frame.Empty()) return;
  const int in = form == TCropFrameForm::Inset ? 1 : 0;
  const int out = form == TCropFrameForm::Inset ? 2 : 0;
  const long long left = static_cast<long long>(crop_left) + in;
  const long long top = static_cast<long long>(crop_top) + in;
  const long long right = static_cast<long long>(frame.width) - crop_right - out;
  const long long bottom = static_cast<long long>(frame.height) - crop_bottom - out;
  if (right <= left || bottom <= top) return;
  FillRect(frame, left, top, right, top + kPenWidth);
  FillRect(frame, left, bottom - kPenWidth, right, bottom);
  FillRect(frame, left, top, left + kPenWidth, bottom);
  FillRect(frame, right - kPenWidth, top, right, bottom);
}

}  // namespace kestrel
