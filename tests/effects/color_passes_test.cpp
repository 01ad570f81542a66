#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "effects/color_adjust.h"
#include "effects/item_effects.h"
#include "tests/effects/test_frame.h"

namespace kestrel::test {
namespace {

Bgr V(int level) {
  const auto v = static_cast<std::uint8_t>(level);
  return {v, v, v};
}

std::vector<Bgr> Levels(std::initializer_list<int> levels) {
  std::vector<Bgr> out;
  for (int v : levels) out.push_back(V(v));
  return out;
}

// One frame row through the conversion compositor; `mark` (when given) is a BMP of one
// row laid at (0, 0).
struct EdgeCase {
  const char* name;
  int brightness = 255, contrast = 0, saturation = 255, exposure = 0;
  int alpha = 168, style = 1;
  std::vector<Bgr> in = {}, mark = {}, out = {};
};

const Bgr kPixel{200, 100, 0};

const EdgeCase kEdgeCases[] = {
    {.name = "neutral triple is skipped",
     .in = {kPixel, V(1), V(200)},
     .out = {kPixel, V(1), V(200)}},
    {.name = "256 0 256 is the identity",
     .brightness = 256,
     .saturation = 256,
     .in = {kPixel, V(0), V(1), V(255)},
     .out = {kPixel, V(0), V(1), V(255)}},
    {.name = "saturation 128",
     .brightness = 256,
     .saturation = 128,
     .in = {kPixel},
     .out = {{150, 100, 50}}},
    {.name = "saturation 512",
     .brightness = 256,
     .saturation = 512,
     .in = {kPixel},
     .out = {{255, 100, 0}}},
    {.name = "brightness 255 saturation 128",
     .brightness = 255,
     .saturation = 128,
     .in = {kPixel},
     .out = {{149, 99, 49}}},
    {.name = "contrast 50",
     .brightness = 256,
     .contrast = 50,
     .saturation = 256,
     .in = {kPixel},
     .out = {{212, 71, 0}}},
    {.name = "saturation 0 gives the mean",
     .brightness = 256,
     .saturation = 0,
     .in = {kPixel, {10, 20, 40}},
     .out = {V(100), V(23)}},
    {.name = "contrast -100 gives 170",
     .brightness = 256,
     .contrast = -100,
     .saturation = 256,
     .in = {kPixel, V(0), V(255)},
     .out = {V(170), V(170), V(170)}},
    {.name = "contrast 100 acts as 99",
     .brightness = 256,
     .contrast = 100,
     .saturation = 256,
     .in = Levels({0, 167, 168, 169, 170, 171, 172, 255}),
     .out = Levels({0, 0, 43, 106, 170, 234, 255, 255})},
    {.name = "contrast -50",
     .brightness = 256,
     .contrast = -50,
     .saturation = 256,
     .in = Levels({0, 128, 255}),
     .out = Levels({50, 140, 230})},
    {.name = "brightness 0",
     .brightness = 0,
     .saturation = 256,
     .in = Levels({0, 1, 128, 255}),
     .out = Levels({1, 1, 1, 1})},
    {.name = "brightness 512",
     .brightness = 512,
     .saturation = 256,
     .in = Levels({64, 128, 255}),
     .out = Levels({127, 255, 255})},
    {.name = "exposure 512",
     .exposure = 512,
     .in = Levels({0, 1, 32, 64, 128, 192, 254, 255}),
     .out = Levels({0, 8, 173, 228, 252, 254, 255, 255})},
    {.name = "exposure 100",
     .exposure = 100,
     .in = Levels({0, 1, 32, 64, 128, 192, 254, 255}),
     .out = Levels({0, 2, 71, 125, 196, 235, 254, 255})},
    {.name = "exposure -50",
     .exposure = -50,
     .in = Levels({0, 1, 32, 64, 128, 192, 254, 255}),
     .out = Levels({0, 1, 10, 23, 68, 142, 253, 255})},
    {.name = "style 1 alpha 0",
     .alpha = 0,
     .in = {kPixel, V(9)},
     .mark = {V(255), V(0)},
     .out = {kPixel, V(9)}},
    {.name = "style 1 alpha 255",
     .alpha = 255,
     .in = {V(100), V(255), V(0)},
     .mark = {V(200), V(0), V(255)},
     .out = {V((100 + 255 * 200) >> 8), V(0), V(254)}},
    {.name = "style 1 alpha 168", .in = {V(100)}, .mark = {V(200)}, .out = {V(165)}},
    {.name = "style 2 multiplies",
     .style = 2,
     .in = {V(100), kPixel, kPixel},
     .mark = {V(200), V(255), V(0)},
     .out = {V(78), kPixel, V(0)}},
};

class EdgeCaseTest : public testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeCaseTest, ComposesToThePublishedLevels) {
  const EdgeCase& c = GetParam();
  TestFrame frame(static_cast<int>(c.in.size()), 1);
  for (int x = 0; x < frame.width(); ++x) frame.Set(x, 0, c.in[x]);
  TItemEffects fx;
  fx.Brightness = c.brightness;
  fx.Contrast = c.contrast;
  fx.Saturation = c.saturation;
  fx.Exposure = c.exposure;
  fx.ImageAlpha = c.alpha;
  fx.TransparentStyle = c.style;
  if (!c.mark.empty()) {
    fx.WaterImage = WriteBmp(std::string(c.name) + ".bmp", static_cast<int>(c.mark.size()), 1,
                             [&](int x, int) { return c.mark[x]; });
  }
  RenderItemEffects(frame.Frame(), fx, TRenderForm::Conversion);
  EXPECT_EQ(frame.Pixels(), c.out);
}

INSTANTIATE_TEST_SUITE_P(Published, EdgeCaseTest, testing::ValuesIn(kEdgeCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

// The formulas applied to one pixel directly, without tables and in 64-bit arithmetic.
Bgr ReferenceColorAdjust(Bgr px, long long b, int c, long long s) {
  if (c == 100) c = 99;
  const long double k = c > 0 ? 1.0L / std::cos(c * std::numbers::pi_v<long double> / 200.0L)
                              : std::cos(c * 0.015708L);
  auto clamp = [](long long v) { return std::clamp(v, 0LL, 255LL); };
  auto sat = [&](long long i) { return ((i + 1) * s) >> 8; };
  auto contrast = [&](long long i) {
    const long double v = std::clamp((i - 170) * k + 170, -1.0L, 256.0L);
    return clamp(std::llrint(v));
  };
  const long long g = (px.b + px.g + px.r) / 3;
  auto channel = [&](std::uint8_t x) {
    const long long level = clamp(g - sat(g) + sat(x));
    return static_cast<std::uint8_t>(contrast(clamp((256 + b * (level - 1)) / 256)));
  };
  return {channel(px.b), channel(px.g), channel(px.r)};
}

std::uint8_t ReferenceExposure(std::uint8_t i, float x) {
  const long double t = (i / -128.0L) * (x / 128.0L);
  const long long r = std::llrint(256.0L * (1.0L - std::exp(t)));
  const long long d = (std::llabs(r) * (255 - i)) >> 8;
  return static_cast<std::uint8_t>(std::clamp(x >= 0 ? i + d : i - d, 0LL, 255LL));
}

// Values inside and well outside the editing ranges: the fast paths and their input
// clamps must agree with the formulas everywhere.
TEST(ColorPasses, MatchTheFormulasOnRandomPixels) {
  const struct {
    int b, c, s;
  } triples[] = {{256, 0, 256},
                 {255, 0, 255},
                 {0, -100, 0},
                 {512, 100, 512},
                 {300, 37, 77},
                 {100, -63, 400},
                 {-40, 130, -300},
                 {5000000, -1000, 9000000},
                 {-9000000, 299, -2000000},
                 {70000, 1, 140000}};
  for (const auto& t : triples) {
    TestFrame frame(97, 13, 5);
    frame.FillRandom(static_cast<unsigned>(t.b + 7 * t.c + 13 * t.s));
    const std::vector<Bgr> before = frame.Pixels();
    ApplyColorAdjust(frame.Frame(), t.b, t.c, t.s);
    const std::vector<Bgr> after = frame.Pixels();
    for (std::size_t i = 0; i < before.size(); ++i) {
      ASSERT_EQ(after[i], ReferenceColorAdjust(before[i], t.b, t.c, t.s))
          << "b " << t.b << " c " << t.c << " s " << t.s << " pixel " << i;
    }
    EXPECT_TRUE(frame.PaddingIntact());
  }
  for (float x : {0.0f, 1.0f, -1.0f, 100.0f, -255.0f, 512.0f, 3000.0f, -600.0f}) {
    TestFrame frame(256, 1);
    for (int i = 0; i < 256; ++i) frame.Set(i, 0, V(i));
    ApplyExposure(frame.Frame(), x);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(frame.At(i, 0), V(ReferenceExposure(static_cast<std::uint8_t>(i), x)))
          << "exposure " << x << " level " << i;
    }
  }
}

// Exposures far outside the range, whose exponential overflows 64 bits, still give a valid table
// with 0 and 255 fixed.
TEST(ColorPasses, ExtremeExposuresSaturate) {
  const auto dark = BuildExposureTable(-2147483648.0f);
  const auto bright = BuildExposureTable(2147483648.0f);
  const auto none = BuildExposureTable(std::nanf(""));
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(dark[i], i == 255 ? 255 : 0) << i;
    EXPECT_EQ(bright[i], i == 0 ? 0 : 255) << i;
    EXPECT_EQ(none[i], i) << i;
  }
}

TEST(ColorPasses, RejectAStrideShorterThanARow) {
  std::vector<std::uint8_t> bytes(64);
  const TBgrFrame bad{bytes.data(), 8, 2, 20};
  EXPECT_THROW(ApplyColorAdjust(bad, 256, 0, 256), std::invalid_argument);
  EXPECT_THROW(ApplyExposure(bad, 10), std::invalid_argument);
  EXPECT_NO_THROW(ApplyColorAdjust(TBgrFrame{}, 0, 0, 0));
}

}  // namespace
}  // namespace kestrel::test
