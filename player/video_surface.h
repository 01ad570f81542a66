// The drawing target of a player: the play thread hands it each picture to show together
// with the rectangle it goes to inside the display area.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "player/player_types.h"

namespace kestrel {

struct SurfaceFrame {
  int AreaWidth = 0;  // the display area the player lays pictures out in
  int AreaHeight = 0;
  TRect Target;  // where Picture goes inside the area (it is scaled to fit)
  // The picture at its own size (for the waveform: the whole area); shared, never changed
  // after it was presented.
  std::shared_ptr<const TBitmap> Picture;
  std::int64_t PTS = -1;  // microseconds from the file start, -1 for the waveform
  bool Waveform = false;
};

class VideoSurface {
 public:
  virtual ~VideoSurface() = default;
  // Size of the drawing area in pixels (0 x 0 when unknown); any thread.
  virtual void AreaSize(int& width, int& height) const = 0;
  // Called on the play thread; must not block on the host's GUI thread.
  virtual void Present(const SurfaceFrame& frame) = 0;
};

// Keeps the last presented frame in memory; for tests and headless playback.
class MemorySurface : public VideoSurface {
 public:
  MemorySurface(int width = 320, int height = 240) : width_(width), height_(height) {}

  void SetAreaSize(int width, int height);
  void AreaSize(int& width, int& height) const override;
  void Present(const SurfaceFrame& frame) override;

  SurfaceFrame Last() const;
  std::int64_t PresentCount() const;
  // Presentation times of every picture shown, in order (waveforms excluded).
  std::vector<std::int64_t> PresentedPTS() const;
  // Keeps every frame presented from now on (off at first: a long playback piles up).
  void KeepFrames(bool keep);
  std::vector<SurfaceFrame> Frames() const;

 private:
  mutable std::mutex mutex_;
  int width_;                         // guarded by mutex_
  int height_;                        // guarded by mutex_
  SurfaceFrame last_;                 // guarded by mutex_
  std::int64_t count_ = 0;            // guarded by mutex_
  std::vector<std::int64_t> pts_;     // guarded by mutex_
  bool keep_frames_ = false;          // guarded by mutex_
  std::vector<SurfaceFrame> frames_;  // guarded by mutex_
};

}  // namespace kestrel
