// The crop outline the previews draw over the frame.
#pragma once

#include "effects/bgr_frame.h"

namespace kestrel {

// Outer: the rectangle the crop keeps, (left, top) to (W - right, H - bottom).
// Inset: one pixel further in at the top-left and two at the bottom-right, so the
// outline sits inside the kept picture.
enum class TCropFrameForm { Outer, Inset };

// A solid green (red 0, green 128, blue 0) outline 2 pixels wide along the inside of the
// rectangle, right and bottom exclusive; the inside is left alone and the outline is
// clipped to the frame.
void DrawCropFrame(const TBgrFrame& frame, int crop_top, int crop_left, int crop_bottom,
                   int crop_right, TCropFrameForm form);

}  // namespace kestrel
