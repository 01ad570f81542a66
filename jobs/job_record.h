// The record each row of the job list carries: the source's paths and length and every
// per-file edit (trim span, zoom mode, crop margins, marks, colour changes). The editing
// dialogs change it, the option builder and the conversion hook read it.
#pragma once

#include <cstdint>
#include <string>

#include "effects/item_effects.h"

namespace kestrel::jobs {

// The zoom mode a new record gets when the profile stores none.
inline constexpr const char* kDefaultZoom = "lbox";

struct TlvFilesRecord {
  std::int32_t SelectionIndex = 0;  // position within the selection it was added with
  std::string SourceFile;           // full path, the row caption
  std::string DestFile;             // destination formed when the file was added
  std::int32_t LengthSec = 0;       // container duration in whole seconds
  std::int64_t TrimStart = 0;       // microseconds
  std::int64_t TrimLength = 0;      // microseconds, 0 = to the end
  std::string Zoom = kDefaultZoom;  // "full", "lbox", "pan" or "center"
  std::int32_t CropTop = 0;         // source pixels
  std::int32_t CropLeft = 0;
  std::int32_t CropBottom = 0;
  std::int32_t CropRight = 0;
  std::int32_t SpinUp = 0;  // the crop dialog's raw margins
  std::int32_t SpinLeft = 0;
  std::int32_t SpinDown = 0;
  std::int32_t SpinRight = 0;
  std::string WaterText;  // empty: no text mark
  TWaterFont WaterFont;   // "MS Sans Serif", 8 points, black
  std::int32_t TextX = 0;
  std::int32_t TextY = 0;
  std::int32_t TextHoriz = 0;
  std::int32_t TextVert = 0;
  std::string WaterImage;  // BMP path; empty: no image mark
  std::int32_t ImageX = 0;
  std::int32_t ImageY = 0;
  std::int32_t ImageHoriz = 0;
  std::int32_t ImageVert = 0;
  std::int32_t ImageAlpha = 168;
  std::int32_t TransparentStyle = 1;
  std::int32_t Brightness = 255;
  std::int32_t Contrast = 0;
  std::int32_t Saturation = 255;
  std::int32_t Exposure = 0;
  bool ProcessText = false;
  bool ProcessImage = false;
};

// The renderer's view of a record (marks, colour changes and crop margins).
TItemEffects ItemEffectsOf(const TlvFilesRecord& record);

// True when the record paints nothing: no text, no image, the neutral colour triple and
// no exposure. Its pictures pass through a conversion unchanged.
bool HasNoEffects(const TlvFilesRecord& record);

}  // namespace kestrel::jobs
