#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>

#include "effects/image_mark.h"
#include "effects/item_effects.h"
#include "tests/effects/test_frame.h"

namespace kestrel::test {
namespace {

Bgr MarkPixel(int x, int y) {
  return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 77};
}

TBgrImage MakeMark(int width, int height) {
  TBgrImage mark{width, height, std::vector<std::uint8_t>(3 * width * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Bgr p = MarkPixel(x, y);
      std::uint8_t* q = mark.bytes.data() + 3 * (y * width + x);
      q[0] = p.b;
      q[1] = p.g;
      q[2] = p.r;
    }
  return mark;
}

// A 100 x 30 mark over a 64 x 48 frame: which frame pixels take which mark pixel.
struct ClipCase {
  const char* name;
  int x, y;
  int left, top, right, bottom;  // covered frame rectangle, right and bottom exclusive
};

const ClipCase kClipCases[] = {
    {"right edge keeps the left 10 columns", 54, 5, 54, 5, 64, 35},
    {"bottom edge", 0, 40, 0, 40, 64, 48},
    {"starts at the right edge", 64, 0, 0, 0, 0, 0},
    {"starts at the bottom edge", 0, 48, 0, 0, 0, 0},
    {"left of the frame", -95, -20, 0, 0, 5, 10},
    {"far outside", 2147483000, -2147483000, 0, 0, 0, 0},
};

TEST(BlendImageMark, ClipsAtEveryEdge) {
  const TBgrImage mark = MakeMark(100, 30);
  for (bool bottom_up : {false, true}) {
    for (const ClipCase& c : kClipCases) {
      SCOPED_TRACE(std::string(c.name) + (bottom_up ? ", bottom-up" : ""));
      TestFrame frame(64, 48, 3, bottom_up);
      frame.Fill({255, 255, 255});
      BlendImageMark(frame.Frame(), mark.View(), c.x, c.y, 256, 1);
      for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
          const bool covered = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
          const Bgr want = covered ? MarkPixel(x - c.x, y - c.y) : Bgr{255, 255, 255};
          ASSERT_EQ(frame.At(x, y), want) << "pixel " << x << "," << y;
        }
      }
      EXPECT_TRUE(frame.PaddingIntact());
    }
  }
}

TEST(BlendImageMark, AlphaOutsideItsRangeIsHeld) {
  const TBgrImage mark = MakeMark(2, 1);
  TestFrame frame(2, 1);
  frame.Fill({40, 40, 40});
  BlendImageMark(frame.Frame(), mark.View(), 0, 0, 1000, 1);  // as 256: the mark itself
  EXPECT_EQ(frame.At(1, 0), MarkPixel(1, 0));
  BlendImageMark(frame.Frame(), MakeMark(2, 1).View(), 0, 0, -5, 1);  // as 0: unchanged
  EXPECT_EQ(frame.At(1, 0), MarkPixel(1, 0));
}

TEST(LoadMarkImage, ReadsA24BitPictureTopDown) {
  const std::string path = WriteBmp("load.bmp", 5, 3, MarkPixel);
  const TBgrImage image = LoadMarkImage(path);
  ASSERT_EQ(image.width, 5);
  ASSERT_EQ(image.height, 3);
  TBgrFrame view = image.View();
  EXPECT_EQ(view.Row(2)[3 * 4 + 0], 4);  // b of pixel (4, 2)
  EXPECT_EQ(view.Row(2)[3 * 4 + 1], 2);
  EXPECT_EQ(view.Row(2)[3 * 4 + 2], 77);
}

TEST(LoadMarkImage, RaisesForWhatIsNotABmp) {
  const std::string dir = TestDir();
  std::ofstream(dir + "/text.bmp") << "not a picture";
  QImage png(4, 4, QImage::Format_RGB888);
  png.fill(Qt::red);
  ASSERT_TRUE(png.save(QString::fromStdString(dir + "/png.bmp"), "PNG"));
  for (const std::string name : {"/missing.bmp", "/text.bmp", "/png.bmp", "/"}) {
    const std::string path = dir + name;
    try {
      LoadMarkImage(path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const TEffectsError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

TEST(MarkImageCache, ReadsAgainWhenThePathOrTheFileChanges) {
  TMarkImageCache cache;
  const std::string a = WriteBmp("cache_a.bmp", 3, 2, MarkPixel);
  const std::string b = WriteBmp("cache_b.bmp", 4, 4, MarkPixel);
  const auto first = cache.Get(a);
  EXPECT_EQ(cache.Get(a), first);  // unchanged file: the decoded picture is kept
  EXPECT_EQ(cache.Get(b)->width, 4);
  EXPECT_EQ(cache.Get(a)->width, 3);

  // Rewritten in place with the same size: only the content differs.
  WriteBmp("cache_a.bmp", 3, 2, [](int, int) { return Bgr{1, 2, 3}; });
  EXPECT_EQ(cache.Get(a)->bytes[0], 1);

  std::filesystem::remove(a);
  EXPECT_THROW(cache.Get(a), TEffectsError);
}

}  // namespace
}  // namespace kestrel::test
