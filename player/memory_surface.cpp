#include "player/video_surface.h"

namespace kestrel {

void MemorySurface::SetAreaSize(int width, int height) {
  std::lock_guard lock(mutex_);
  width_ = width;
  height_ = height;
}

void MemorySurface::AreaSize(int& width, int& height) const {
  std::lock_guard lock(mutex_);
  width = width_;
  height = height_;
}

void MemorySurface::Present(const SurfaceFrame& frame) {
  std::lock_guard lock(mutex_);
  last_ = frame;
  ++count_;
  if (!frame.Waveform) pts_.push_back(frame.PTS);
}

SurfaceFrame MemorySurface::Last() const {
  std::lock_guard lock(mutex_);
  return last_;
}

std::int64_t MemorySurface::PresentCount() const {
  std::lock_guard lock(mutex_);
  return count_;
}

std::vector<std::int64_t> MemorySurface::PresentedPTS() const {
  std::lock_guard lock(mutex_);
  return pts_;
}

}  // namespace kestrel
