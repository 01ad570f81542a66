#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "effects/image_mark.h"
#include "effects/item_effects.h"
#include "tests/effects/test_frame.h"

namespace kestrel::test {
namespace {

bool IsGrey(Bgr p) {
  return p.b == p.g && p.g == p.r;
}

// A frame with a red text mark at the left and a blue image mark at the right, over a
// grey background.
TItemEffects TwoMarks() {
  TItemEffects fx;
  fx.WaterText = "TTTT";
  fx.WaterFont = {"DejaVu Sans", 20, 0x000000FF, fsBold};
  fx.TextX = 2;
  fx.TextY = 2;
  fx.WaterImage = WriteBmp("blue.bmp", 10, 10, [](int, int) { return Bgr{220, 40, 10}; });
  fx.ImageX = 120;
  fx.ImageY = 5;
  fx.ImageAlpha = 255;
  return fx;
}

struct OrderCase {
  bool process_text, process_image;
  bool text_grey, image_grey;
};

TEST(RenderItemEffects, ProcessFlagsChooseWhatTheColourStepReaches) {
  const OrderCase cases[] = {
      {false, false, false, false},
      {true, false, true, false},
      {false, true, false, true},
      {true, true, true, true},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "ProcessText " << c.process_text << " ProcessImage " << c.process_image);
    TItemEffects fx = TwoMarks();
    fx.Brightness = 256;
    fx.Saturation = 0;
    fx.ProcessText = c.process_text;
    fx.ProcessImage = c.process_image;
    TestFrame frame(150, 30);
    frame.Fill({128, 128, 128});
    RenderItemEffects(frame.Frame(), fx, TRenderForm::Conversion);
    bool text_grey = true;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 110; ++x) text_grey = text_grey && IsGrey(frame.At(x, y));
    EXPECT_EQ(text_grey, c.text_grey);
    EXPECT_EQ(IsGrey(frame.At(125, 10)), c.image_grey);
    // Text ink was painted at all: some pixel left of the image differs from the ground.
    bool inked = false;
    for (int x = 0; x < 110; ++x) inked = inked || !(frame.At(x, 12) == Bgr{128, 128, 128});
    EXPECT_TRUE(inked);
  }
}

TEST(RenderItemEffects, NewRecordLeavesFramesUnchanged) {
  TestFrame frame(33, 9, 3);
  frame.FillRandom(9);
  const std::vector<Bgr> before = frame.Pixels();
  const TMarkPositions at =
      RenderItemEffects(frame.Frame(), TItemEffects{}, TRenderForm::Conversion);
  EXPECT_EQ(frame.Pixels(), before);
  EXPECT_EQ(at.TextX + at.TextY + at.ImageX + at.ImageY, 0);
}

TEST(RenderItemEffects, UnreadableMarkEndsTheCompositionWithTheFrameUntouched) {
  const std::string dir = TestDir();
  std::ofstream(dir + "/broken.bmp") << "BM broken";
  TMarkImageCache cache;
  for (const std::string name : {"/absent.bmp", "/broken.bmp"}) {
    for (TMarkImageCache* c : {static_cast<TMarkImageCache*>(nullptr), &cache}) {
      TItemEffects fx = TwoMarks();
      fx.WaterImage = dir + name;
      fx.Exposure = 200;  // the colour step runs first, before the image step
      TestFrame frame(90, 30);
      frame.FillRandom(1);
      const std::vector<Bgr> before = frame.Pixels();
      EXPECT_THROW(RenderItemEffects(frame.Frame(), fx, TRenderForm::Conversion, {c, nullptr}),
                   TEffectsError);
      EXPECT_EQ(frame.Pixels(), before) << name;
    }
  }
}

TEST(RenderItemEffects, WatermarkPreviewPlacesMarksByPercent) {
  TItemEffects fx = TwoMarks();
  fx.TextX = fx.TextY = fx.ImageX = fx.ImageY = 7;  // stored pixels: ignored by this form
  fx.TextHoriz = 50;
  fx.TextVert = 0;
  fx.ImageHoriz = 33;
  fx.ImageVert = 100;
  TestFrame frame(640, 31);
  TMarkPositions at = RenderItemEffects(frame.Frame(), fx, TRenderForm::WatermarkPreview);
  EXPECT_EQ(at.TextX, 320);
  EXPECT_EQ(at.TextY, 0);
  EXPECT_EQ(at.ImageX, 211);  // trunc(640 * 0.33)
  EXPECT_EQ(at.ImageY, 31);

  // At 100 % the marks start at the right edge and are not seen: the frame equals one
  // rendered without marks (both carry the inset crop outline).
  fx.TextHoriz = fx.ImageHoriz = 100;
  fx.TextVert = fx.ImageVert = 40;
  TestFrame marked(640, 31), plain(640, 31);
  at = RenderItemEffects(marked.Frame(), fx, TRenderForm::WatermarkPreview);
  EXPECT_EQ(at.TextX, 640);
  EXPECT_EQ(at.ImageX, 640);
  RenderItemEffects(plain.Frame(), TItemEffects{}, TRenderForm::WatermarkPreview);
  EXPECT_EQ(marked.Pixels(), plain.Pixels());
  EXPECT_EQ(plain.At(1, 1), (Bgr{0, 128, 0}));

  // The other forms use the stored pixels.
  at = RenderItemEffects(frame.Frame(), fx, TRenderForm::RecordPreview);
  EXPECT_EQ(at.TextX, 7);
  EXPECT_EQ(at.ImageY, 7);
}

TEST(RenderItemEffects, CropOutlineIsDrawnLastInThePreviews) {
  TItemEffects fx;
  fx.Brightness = 256;
  fx.Saturation = 0;
  fx.CropLeft = 4;
  const struct {
    TRenderForm form;
    int x, y;  // a pixel on the outline, or none for the conversion
  } cases[] = {{TRenderForm::RecordPreview, 4, 0}, {TRenderForm::WatermarkPreview, 5, 1}};
  for (const auto& c : cases) {
    TestFrame frame(20, 10);
    frame.Fill({10, 20, 30});
    RenderItemEffects(frame.Frame(), fx, c.form);
    EXPECT_EQ(frame.At(c.x, c.y), (Bgr{0, 128, 0}));  // not greyed by the colour step
    EXPECT_EQ(frame.At(10, 5), (Bgr{20, 20, 20}));
  }
  TestFrame frame(20, 10);
  RenderItemEffects(frame.Frame(), fx, TRenderForm::Conversion);
  EXPECT_EQ(frame.At(4, 0), (Bgr{0, 0, 0}));
}

TEST(RenderItemEffects, HoldsTheSurfaceLockForTheComposition) {
  std::recursive_mutex surface;
  TItemEffects fx;
  fx.Exposure = 100;
  TestFrame frame(8, 8);
  frame.Fill({64, 64, 64});
  {
    // The caller's own hold does not block it: the lock is re-entrant.
    std::lock_guard hold(surface);
    RenderItemEffects(frame.Frame(), fx, TRenderForm::Conversion, {nullptr, &surface});
  }
  EXPECT_EQ(frame.At(0, 0), (Bgr{125, 125, 125}));

  std::atomic<bool> done{false};
  std::unique_lock other(surface);
  std::thread worker([&] {
    RenderItemEffects(frame.Frame(), fx, TRenderForm::Conversion, {nullptr, &surface});
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done);
  other.unlock();
  worker.join();
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace kestrel::test
