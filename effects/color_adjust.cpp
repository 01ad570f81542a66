#include "effects/color_adjust.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace kestrel {
namespace {

// Beyond these magnitudes every table entry already sits at its clamp, so clamping the
// inputs keeps every result while keeping the 32-bit products from overflowing.
constexpr int kBrightnessLimit = 65536;
constexpr int kSaturationLimit = 131072;
// Widest span of G[n] + S[x] served by the branch-free path; values in the usual ranges
// span about a thousand levels.
constexpr int kWideTableSize = 4096;

std::uint8_t ClampLevel(long long v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0LL, 255LL));
}

// Round half to even of a value that may be huge or not a number, then clamp to a level.
std::uint8_t RoundToLevel(long double v, long double nan_value) {
  if (std::isnan(v)) v = nan_value;
  v = std::clamp(v, -1.0L, 256.0L);
  return ClampLevel(std::llrint(v));  // the default rounding mode is to nearest even
}

long double ContrastFactor(int contrast) {
  if (contrast == 100) contrast = 99;
  if (contrast > 0) return 1.0L / std::cos(contrast * std::numbers::pi_v<long double> / 200.0L);
  return std::cos(contrast * 0.015708L);
}

void MapPixelsWide(const TBgrFrame& frame, const TColorTables& t, int lo, int hi) {
  // wide[v - lo] = BC[clamp(v)] for every reachable v = G[n] + S[x]; folding -lo into the
  // grey table makes every index non-negative and removes the per-channel clamps.
  std::array<std::uint8_t, kWideTableSize> wide;
  for (int v = lo; v <= hi; ++v) wide[v - lo] = t.brightness[ClampLevel(v)];
  std::array<std::int32_t, 768> grey;
  for (int n = 0; n < 768; ++n) grey[n] = t.grey[n] - lo;
  const std::int32_t* s = t.saturation.data();
  for (int y = 0; y < frame.height; ++y) {
    std::uint8_t* p = frame.Row(y);
    std::uint8_t* end = p + 3 * frame.width;
    for (; p != end; p += 3) {
      const int b = p[0], g = p[1], r = p[2];
      const int base = grey[b + g + r];
      p[0] = wide[base + s[b]];
      p[1] = wide[base + s[g]];
      p[2] = wide[base + s[r]];
    }
  }
}

void MapPixelsClamped(const TBgrFrame& frame, const TColorTables& t) {
  for (int y = 0; y < frame.height; ++y) {
    std::uint8_t* p = frame.Row(y);
    std::uint8_t* end = p + 3 * frame.width;
    for (; p != end; p += 3) {
      const int base = t.grey[p[0] + p[1] + p[2]];
      for (int c = 0; c < 3; ++c) {
        p[c] = t.brightness[std::clamp(base + t.saturation[p[c]], 0, 255)];
      }
    }
  }
}

}  // namespace

TColorTables BuildColorTables(int brightness, int contrast, int saturation) {
  TColorTables t;
  const long double k = ContrastFactor(contrast);
  for (int i = 0; i < 256; ++i) t.contrast[i] = RoundToLevel((i - 170) * k + 170, 170);

  const int b = std::clamp(brightness, -kBrightnessLimit, kBrightnessLimit);
  for (int j = 0; j < 256; ++j) {
    const int level = std::clamp((256 + b * (j - 1)) / 256, 0, 255);
    t.brightness[j] = t.contrast[level];
  }

  const int s = std::clamp(saturation, -kSaturationLimit, kSaturationLimit);
  for (int i = 0; i < 256; ++i) t.saturation[i] = ((i + 1) * s) >> 8;
  for (int n = 0; n < 768; ++n) t.grey[n] = n / 3 - t.saturation[n / 3];
  return t;
}

void ApplyColorAdjust(const TBgrFrame& frame, int brightness, int contrast, int saturation) {
  CheckFrame(frame, "ApplyColorAdjust");
  if (frame.Empty()) return;
  const TColorTables t = BuildColorTables(brightness, contrast, saturation);
  const auto [gmin, gmax] = std::minmax_element(t.grey.begin(), t.grey.end());
  const auto [smin, smax] = std::minmax_element(t.saturation.begin(), t.saturation.end());
  const int lo = *gmin + *smin;
  const int hi = *gmax + *smax;
  if (hi - lo < kWideTableSize) {
    MapPixelsWide(frame, t, lo, hi);
  } else {
    MapPixelsClamped(frame, t);
  }
}

std::array<std::uint8_t, 256> BuildExposureTable(float exposure) {
  // |r| beyond 2^40 changes no entry (d would pass 255 anyway) and keeps the 64-bit
  // product in range; an exposure that is not a number leaves every level as it is.
  constexpr long double kRLimit = 1099511627776.0L;
  std::array<std::uint8_t, 256> e{};
  for (int i = 0; i < 256; ++i) {
    const long double t = (i / -128.0L) * (exposure / 128.0L);
    long double rf = 256.0L * (1.0L - std::exp(t));
    rf = std::isnan(rf) ? 0.0L : std::clamp(rf, -kRLimit, kRLimit);
    const std::int64_t r = std::llrint(rf);
    const std::int64_t d = ((r < 0 ? -r : r) * (255 - i)) >> 8;
    e[i] = ClampLevel(exposure >= 0 ? i + d : i - d);
  }
  return e;
}

void ApplyExposure(const TBgrFrame& frame, float exposure) {
  CheckFrame(frame, "ApplyExposure");
  if (frame.Empty()) return;
  const std::array<std::uint8_t, 256> e = BuildExposureTable(exposure);
  for (int y = 0; y < frame.height; ++y) {
    std::uint8_t* p = frame.Row(y);
    std::uint8_t* end = p + 3 * frame.width;
    for (; p != end; ++p) *p = e[*p];
  }
}

}  // namespace kestrel
