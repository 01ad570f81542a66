// Bitmap subtitles: decoding on their own thread, the palette in YUVA, and blending into
// the planar YUV 4:2:0 picture on screen.
#pragma once

#include <cstdint>

extern "C" {
struct AVFrame;
struct AVSubtitleRect;
}

namespace kestrel {

struct PlaybackContext;

// RGBA palette colour (0xAARRGGBB) to studio-range YUVA packed as 0xAAYYUUVV.
std::uint32_t RgbaToYuva(std::uint32_t argb);
// Blends one bitmap rectangle whose palette is already YUVA, clipped to the picture.
void BlendSubtitleRect(AVFrame* picture, const AVSubtitleRect& rect);

// Blends the queued subtitle into the picture when it is due at pts (seconds).
void BlendDueSubtitle(PlaybackContext& ctx, AVFrame* picture, double pts);
// Drops subtitles whose time has passed; empties the queue after a stream change.
void RefreshSubtitles(PlaybackContext& ctx);

}  // namespace kestrel
