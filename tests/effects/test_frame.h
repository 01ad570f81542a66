// Frames for the renderer's tests: owned pixels with optional row padding, stored
// top-down or bottom-up, and BMP files for image marks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "effects/bgr_frame.h"

namespace kestrel::test {

struct Bgr {
  std::uint8_t b = 0, g = 0, r = 0;
  bool operator==(const Bgr&) const = default;
};

class TestFrame {
 public:
  static constexpr std::uint8_t kPadByte = 0xA5;

  TestFrame(int width, int height, int padding = 0, bool bottom_up = false);

  TBgrFrame Frame();
  Bgr At(int x, int y) const;
  void Set(int x, int y, Bgr px);
  void Fill(Bgr px);
  void FillRandom(unsigned seed);
  // Pixels in logical order, top row first, without padding.
  std::vector<Bgr> Pixels() const;
  bool PaddingIntact() const;
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  std::size_t Offset(int x, int y) const;

  int width_, height_, row_bytes_;
  bool bottom_up_;
  std::vector<std::uint8_t> bytes_;
};

// Writes a 24-bit BMP file whose pixel (x, y) is pixel(x, y); returns its path.
std::string WriteBmp(const std::string& name, int width, int height,
                     const std::function<Bgr(int x, int y)>& pixel);

// A fresh folder of this test process.
std::string TestDir();

}  // namespace kestrel::test
