// The text mark: one line of text painted with QtGui straight onto the frame's bytes.
//
// Threads: any thread may draw, each call uses its own QImage and QPainter over the
// frame. Text needs the process's QGuiApplication (it owns the font database), created
// on the main thread before the first text mark and alive until the last; without one
// DrawTextMark raises TEffectsError rather than touching the font system.
#pragma once

#include <string>

#include "effects/bgr_frame.h"
#include "effects/item_effects.h"

namespace kestrel {

struct TTextBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Raises TEffectsError when text cannot be drawn in this process (no QGuiApplication).
void CheckTextMarkSupport();

// The character height in pixels for a size in points at 96 dots per inch, at least 1.
int FontPixelSize(int points);

// Draws `text` (UTF-8) in one line with the top-left corner of its line box at (x, y):
// face, size, colour 0x00BBGGRR and style from `font`, the background left unpainted,
// anything past the frame's edges clipped.
void DrawTextMark(const TBgrFrame& frame, const std::string& text, const TWaterFont& font, int x,
                  int y);

// The rectangle DrawTextMark may change for the same arguments (line box, glyph overhang
// and one pixel of anti-aliasing), before clipping to the frame.
TTextBox MeasureTextMark(const std::string& text, const TWaterFont& font, int x, int y);

}  // namespace kestrel
