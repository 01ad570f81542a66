// Value types shared by the player component, its playback core and its hosts.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel {

enum TPlayState { psPlay = 0, psPause = 1, psResume = 2, psStep = 3, psStop = 4, psEnd = 5 };

// Audio back ends. adDefault leaves SDL's own choice (and a SDL_AUDIODRIVER set by the
// user) untouched; the two others name a Linux back end explicitly.
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };

// Pictures are drawn through a VideoSurface, so the video back end only matters to hosts
// that want to know which one was asked for; it is stored and reported, nothing else.
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

using TAudioVolume = int;  // 0..128
constexpr TAudioVolume kMaxAudioVolume = 128;

// A 24-bit picture in blue, green, red byte order, top row first.
struct TBitmap {
  int Width = 0;
  int Height = 0;
  int Stride = 0;  // bytes per row
  std::vector<std::uint8_t> Bits;

  void Resize(int width, int height) {
    Width = width > 0 ? width : 0;
    Height = height > 0 ? height : 0;
    Stride = Width * 3;
    Bits.assign(static_cast<std::size_t>(Stride) * Height, 0);
  }
  std::uint8_t* ScanLine(int y) { return Bits.data() + static_cast<std::size_t>(y) * Stride; }
  const std::uint8_t* ScanLine(int y) const {
    return Bits.data() + static_cast<std::size_t>(y) * Stride;
  }
  bool Empty() const { return Width == 0 || Height == 0; }
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TRect&) const = default;
};

// How far a shown picture may be from the sound and still count as in sync (seconds).
constexpr double kSyncTolerance = 0.045;

// Figures of one playback, for measuring timing (kestrel-player --stats).
struct TPlaybackStats {
  std::int64_t PicturesShown = 0;
  std::int64_t PicturesDropped = 0;
  // Largest |audio clock - shown picture time| in seconds, taken as each picture is shown
  // after the first second of playback while both audio and video play; -1 when never
  // measured.
  double MaxAVDifference = -1;
  // Pictures so measured, and those of them more than kSyncTolerance away from the sound.
  std::int64_t PicturesMeasured = 0;
  std::int64_t PicturesOutOfSync = 0;
};

}  // namespace kestrel
