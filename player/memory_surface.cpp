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
  if (keep_frames_) frames_.push_back(frame);
}

void MemorySurface::KeepFrames(bool keep) {
  std::lock_guard lock(mutex_);
  keep_frames_ = keep;
}

std::vector<SurfaceFrame> MemorySurface::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
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
