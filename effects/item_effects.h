// A job's marks and colour changes, and the compositor that paints them on one frame.
//
// TItemEffects carries the fields of the job record that the renderer reads, under the
// record's own names, so a host copies them across one by one. Everything here is plain
// C++; the implementation uses QtGui for text and BMP reading (see text_mark.h for what
// that asks of the process).
#pragma once

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

#include "effects/bgr_frame.h"

namespace kestrel {

class TMarkImageCache;

// Raised when a mark cannot be painted (an unreadable mark file, text without a GUI
// application object). The composition that raised it leaves the frame unchanged.
class TEffectsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TWaterFont {
  std::string Name = "MS Sans Serif";  // face; a missing face falls back to a similar one
  std::int32_t Size = 8;               // points, at 96 dots per inch
  std::uint32_t Color = 0;             // 0x00BBGGRR
  std::uint8_t Style = 0;              // TFontStyle bits
};

struct TItemEffects {
  std::string WaterText;  // empty: no text mark
  TWaterFont WaterFont;
  std::int32_t TextX = 0;  // source pixels
  std::int32_t TextY = 0;
  std::int32_t TextHoriz = 0;  // percent of the width, used by the watermark preview
  std::int32_t TextVert = 0;   // percent of the height
  std::string WaterImage;      // path of a BMP file; empty: no image mark
  std::int32_t ImageX = 0;
  std::int32_t ImageY = 0;
  std::int32_t ImageHoriz = 0;
  std::int32_t ImageVert = 0;
  std::int32_t ImageAlpha = 168;      // weight of the mark in style 1, 0..255
  std::int32_t TransparentStyle = 1;  // 1 alpha blend, anything else multiply
  std::int32_t Brightness = 255;      // 0..512
  std::int32_t Contrast = 0;          // -100..100
  std::int32_t Saturation = 255;      // 0..512
  std::int32_t Exposure = 0;          // -255..512
  bool ProcessText = false;           // text drawn before the colour passes
  bool ProcessImage = false;          // image drawn before the colour passes
  std::int32_t CropTop = 0;           // margins shown as the previews' crop outline
  std::int32_t CropLeft = 0;
  std::int32_t CropBottom = 0;
  std::int32_t CropRight = 0;
};

// Who composes the frame. The conversion hook draws no outline; the crop and trim
// previews draw the outer outline; the watermark preview places the marks from the
// percentages and draws the inset outline.
enum class TRenderForm { Conversion, RecordPreview, WatermarkPreview };

// The mark positions a composition used, in source pixels.
struct TMarkPositions {
  std::int32_t TextX = 0;
  std::int32_t TextY = 0;
  std::int32_t ImageX = 0;
  std::int32_t ImageY = 0;
};

struct TRenderOptions {
  // Decoded marks kept between frames; null reads the file for every frame.
  TMarkImageCache* MarkCache = nullptr;
  // The frame's drawing-surface lock, held for the whole composition (the caller may
  // already hold it).
  std::recursive_mutex* SurfaceLock = nullptr;
};

bool IsNeutralColor(const TItemEffects& fx);

// Paints text mark, image mark and colour step in the order ProcessText/ProcessImage
// choose, then the crop outline for the previews. The mark file is read before any pixel
// changes, so a TEffectsError leaves the frame as it was. Returns the positions used.
TMarkPositions RenderItemEffects(const TBgrFrame& frame, const TItemEffects& fx, TRenderForm form,
                                 const TRenderOptions& options = {});

}  // namespace kestrel
