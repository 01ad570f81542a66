#include <gtest/gtest.h>

#include "effects/crop_frame.h"
#include "tests/effects/test_frame.h"

namespace kestrel::test {
namespace {

constexpr int kW = 40, kH = 30;
const Bgr kGreen{0, 128, 0};
const Bgr kBack{200, 10, 200};

struct CropCase {
  TCropFrameForm form;
  int top, left, bottom, right;
  int l, t, r, b;  // expected outline rectangle, right and bottom exclusive; r <= l: none
};

const CropCase kCropCases[] = {
    {TCropFrameForm::Outer, 0, 0, 0, 0, 0, 0, kW, kH},
    {TCropFrameForm::Outer, 4, 6, 8, 10, 6, 4, kW - 10, kH - 8},
    {TCropFrameForm::Inset, 0, 0, 0, 0, 1, 1, kW - 2, kH - 2},
    {TCropFrameForm::Inset, 4, 6, 8, 10, 7, 5, kW - 12, kH - 10},
    {TCropFrameForm::Outer, 0, 30, 0, 30, 0, 0, 0, 0},
    {TCropFrameForm::Outer, -10, -10, -10, -10, -10, -10, kW + 10, kH + 10},
};

TEST(DrawCropFrame, OutlinesTheKeptRectangleTwoPixelsWide) {
  for (bool bottom_up : {false, true}) {
    for (const CropCase& c : kCropCases) {
      SCOPED_TRACE(testing::Message() << "margins " << c.top << " " << c.left << " " << c.bottom
                                      << " " << c.right << (bottom_up ? " bottom-up" : ""));
      TestFrame frame(kW, kH, 2, bottom_up);
      frame.Fill(kBack);
      DrawCropFrame(frame.Frame(), c.top, c.left, c.bottom, c.right, c.form);
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          const bool in_rect = x >= c.l && x < c.r && y >= c.t && y < c.b;
          const bool on_band = x < c.l + 2 || x >= c.r - 2 || y < c.t + 2 || y >= c.b - 2;
          ASSERT_EQ(frame.At(x, y), in_rect && on_band ? kGreen : kBack) << x << "," << y;
        }
      }
      EXPECT_TRUE(frame.PaddingIntact());
    }
  }
}

}  // namespace
}  // namespace kestrel::test
