// The two table-driven colour passes. Both change the frame in place, accept any value
// (every table entry is clamped to 0..255) and cost a few table look-ups per pixel.
#pragma once

#include <array>
#include <cstdint>

#include "effects/bgr_frame.h"

namespace kestrel {

// Saturation pulls each channel toward or away from the pixel's mean, then brightness,
// then contrast (pivot 170). Brightness 256, contrast 0, saturation 256 is the identity.
void ApplyColorAdjust(const TBgrFrame& frame, int brightness, int contrast, int saturation);

// Lifts (positive) or darkens (negative) the dark and middle levels; 0 and 255 stay.
void ApplyExposure(const TBgrFrame& frame, float exposure);

// The tables behind the passes, for callers that show them (curves) and for checks.
struct TColorTables {
  std::array<std::uint8_t, 256> contrast{};    // C
  std::array<std::uint8_t, 256> brightness{};  // BC: brightness, then contrast
  std::array<std::int32_t, 256> saturation{};  // S
  std::array<std::int32_t, 768> grey{};        // G, indexed by B + G + R
};
TColorTables BuildColorTables(int brightness, int contrast, int saturation);
std::array<std::uint8_t, 256> BuildExposureTable(float exposure);

}  // namespace kestrel
