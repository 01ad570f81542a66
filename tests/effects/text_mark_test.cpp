#include <gtest/gtest.h>

#include <thread>

#include "effects/text_mark.h"
#include "tests/effects/test_frame.h"

namespace kestrel::test {
namespace {

struct Ink {
  int pixels = 0;
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
};

Ink InkOf(const TestFrame& frame, Bgr background) {
  Ink ink;
  for (int y = 0; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x)
      if (!(frame.At(x, y) == background)) {
        ++ink.pixels;
        ink.left = std::min(ink.left, x);
        ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

TWaterFont Font(std::uint32_t color, int size = 20, std::uint8_t style = 0) {
  return {"DejaVu Sans", size, color, style};
}

TEST(TextMark, PaintsOnlyInsideItsBoxInTheRequestedColour) {
  // Red text (0x00BBGGRR) on black: every changed pixel is a shade of red and the core
  // of the glyphs is exactly the requested red.
  TestFrame frame(200, 80, 1);
  const int x = 30, y = 20;
  const TWaterFont font = Font(0x000000FF);
  DrawTextMark(frame.Frame(), "Kestrel", font, x, y);
  const TTextBox box = MeasureTextMark("Kestrel", font, x, y);
  const Ink ink = InkOf(frame, {});
  ASSERT_GT(ink.pixels, 50);
  EXPECT_GE(ink.left, box.x);
  EXPECT_GE(ink.top, box.y);
  EXPECT_LT(ink.right, box.x + box.width);
  EXPECT_LT(ink.bottom, box.y + box.height);
  // The line box starts at (x, y): the ink begins just there, not a line lower or higher.
  EXPECT_GE(ink.top, y);
  EXPECT_LE(ink.top, y + box.height / 2);
  EXPECT_GE(ink.left, x - 1);
  EXPECT_LE(ink.left, x + 4);
  int exact = 0;
  for (const Bgr& p : frame.Pixels()) {
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.g, 0);
    exact += p.r == 255;
  }
  EXPECT_GT(exact, 20);
  EXPECT_TRUE(frame.PaddingIntact());
}

TEST(TextMark, LeavesTheBackgroundUnpainted) {
  TestFrame frame(120, 40);
  frame.FillRandom(3);
  const std::vector<Bgr> before = frame.Pixels();
  const TWaterFont font = Font(0x00FF0000);
  DrawTextMark(frame.Frame(), "a b", font, 5, 5);
  const TTextBox box = MeasureTextMark("a b", font, 5, 5);
  const std::vector<Bgr> after = frame.Pixels();
  int changed_inside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) {
      const bool inside =
          x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
      const bool changed = !(after[y * 120 + x] == before[y * 120 + x]);
      if (!inside) {
        ASSERT_FALSE(changed) << x << "," << y;
      }
      changed_inside += changed;
    }
  // Glyph pixels only: most of the box, including the gap between the words, keeps its
  // random background.
  EXPECT_GT(changed_inside, 0);
  EXPECT_LT(changed_inside, box.width * box.height / 2);
}

TEST(TextMark, StylesChangeTheGlyphs) {
  auto draw = [](std::uint8_t style) {
    TestFrame frame(240, 60);
    DrawTextMark(frame.Frame(), "Mark me", Font(0x00FFFFFF, 20, style), 4, 4);
    return frame;
  };
  const TestFrame regular = draw(0);
  const Ink plain = InkOf(regular, {});
  EXPECT_GT(InkOf(draw(fsBold), {}).pixels, plain.pixels);
  for (std::uint8_t style : {fsItalic, fsUnderline, fsStrikeOut}) {
    EXPECT_NE(draw(style).Pixels(), regular.Pixels()) << "style " << int{style};
  }
  // Underline lies below the glyphs' lowest ink (no descenders in the text).
  EXPECT_GT(InkOf(draw(fsUnderline), {}).bottom, plain.bottom);
}

TEST(TextMark, SizeIsInPointsAt96Dpi) {
  EXPECT_EQ(FontPixelSize(8), 11);
  EXPECT_EQ(FontPixelSize(12), 16);
  EXPECT_EQ(FontPixelSize(72), 96);
  EXPECT_EQ(FontPixelSize(0), 1);
  EXPECT_EQ(FontPixelSize(-5), 1);
  // A capital of a 72-point face stands about 0.7 of 96 pixels tall.
  TestFrame frame(200, 140);
  DrawTextMark(frame.Frame(), "H", Font(0x00FFFFFF, 72), 0, 0);
  const Ink ink = InkOf(frame, {});
  EXPECT_GT(ink.bottom - ink.top + 1, 55);
  EXPECT_LT(ink.bottom - ink.top + 1, 85);
}

TEST(TextMark, ClipsAtTheFrameEdges) {
  for (bool bottom_up : {false, true}) {
    TestFrame frame(60, 30, 2, bottom_up);
    DrawTextMark(frame.Frame(), "Clipped at the right edge", Font(0x00FFFFFF, 30), 40, 15);
    const Ink ink = InkOf(frame, {});
    EXPECT_GT(ink.pixels, 0);
    EXPECT_GE(ink.left, 39);
    EXPECT_TRUE(frame.PaddingIntact());
    // At or past the edges nothing is drawn.
    TestFrame off(60, 30);
    DrawTextMark(off.Frame(), "gone", Font(0x00FFFFFF), 60, 0);
    DrawTextMark(off.Frame(), "gone", Font(0x00FFFFFF), 0, 30);
    DrawTextMark(off.Frame(), "gone", Font(0x00FFFFFF), 2147483647, -2147483647);
    EXPECT_EQ(InkOf(off, {}).pixels, 0);
  }
}

TEST(TextMark, BottomUpFramesGetTheSamePicture) {
  TestFrame top_down(90, 40, 1);
  TestFrame bottom_up(90, 40, 1, true);
  for (TestFrame* f : {&top_down, &bottom_up}) {
    f->Fill({10, 60, 110});
    DrawTextMark(f->Frame(), "Qy", Font(0x0000FF00, 18, fsItalic | fsUnderline), 7, 3);
  }
  EXPECT_EQ(bottom_up.Pixels(), top_down.Pixels());
  EXPECT_TRUE(bottom_up.PaddingIntact());
}

TEST(TextMark, DrawsFromSeveralThreadsAtOnce) {
  TestFrame reference(150, 40);
  DrawTextMark(reference.Frame(), "worker 123", Font(0x00FFFFFF, 16, fsBold), 3, 3);
  std::vector<TestFrame> frames(4, TestFrame(150, 40));
  std::vector<std::thread> threads;
  for (TestFrame& f : frames) {
    threads.emplace_back([&f] {
      for (int i = 0; i < 20; ++i) {
        f.Fill({});
        DrawTextMark(f.Frame(), "worker 123", Font(0x00FFFFFF, 16, fsBold), 3, 3);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const TestFrame& f : frames) EXPECT_EQ(f.Pixels(), reference.Pixels());
}

}  // namespace
}  // namespace kestrel::test
