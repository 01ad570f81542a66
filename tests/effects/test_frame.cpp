#include "tests/effects/test_frame.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <random>

#include "tests/support/fixtures.h"

namespace kestrel::test {

TestFrame::TestFrame(int width, int height, int padding, bool bottom_up)
    : width_(width),
      height_(height),
      row_bytes_(3 * width + padding),
      bottom_up_(bottom_up),
      bytes_(static_cast<std::size_t>(row_bytes_) * height, kPadByte) {
  Fill({});
}

TBgrFrame TestFrame::Frame() {
  if (!bottom_up_) return {bytes_.data(), width_, height_, row_bytes_};
  return {bytes_.data() + Offset(0, 0), width_, height_, -row_bytes_};
}

std::size_t TestFrame::Offset(int x, int y) const {
  const int row = bottom_up_ ? height_ - 1 - y : y;
  return static_cast<std::size_t>(row) * row_bytes_ + 3 * x;
}

Bgr TestFrame::At(int x, int y) const {
  const std::uint8_t* p = bytes_.data() + Offset(x, y);
  return {p[0], p[1], p[2]};
}

void TestFrame::Set(int x, int y, Bgr px) {
  std::uint8_t* p = bytes_.data() + Offset(x, y);
  p[0] = px.b;
  p[1] = px.g;
  p[2] = px.r;
}

void TestFrame::Fill(Bgr px) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) Set(x, y, px);
}

void TestFrame::FillRandom(unsigned seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      Set(x, y,
          {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
           static_cast<std::uint8_t>(rng())});
}

std::vector<Bgr> TestFrame::Pixels() const {
  std::vector<Bgr> out;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) out.push_back(At(x, y));
  return out;
}

bool TestFrame::PaddingIntact() const {
  for (int row = 0; row < height_; ++row)
    for (int i = 3 * width_; i < row_bytes_; ++i)
      if (bytes_[static_cast<std::size_t>(row) * row_bytes_ + i] != kPadByte) return false;
  return true;
}

std::string WriteBmp(const std::string& name, int width, int height,
                     const std::function<Bgr(int x, int y)>& pixel) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Bgr p = pixel(x, y);
      image.setPixel(x, y, qRgb(p.r, p.g, p.b));
    }
  const std::string path = TestDir() + "/" + name;
  EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP")) << path;
  return path;
}

std::string TestDir() {
  return TempDir();
}

}  // namespace kestrel::test
