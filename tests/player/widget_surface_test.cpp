// The Qt widget surface: frames presented from another thread are painted on the GUI
// thread, the newest one winning, scaled from the player's area to the widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <thread>

#include "ui/player/widget_surface.h"

namespace kestrel {
namespace {

SurfaceFrame SolidFrame(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  auto picture = std::make_shared<TBitmap>();
  picture->Resize(16, 16);
  for (std::size_t i = 0; i < picture->Bits.size(); i += 3) {
    picture->Bits[i] = blue;
    picture->Bits[i + 1] = green;
    picture->Bits[i + 2] = red;
  }
  SurfaceFrame frame;
  frame.AreaWidth = 160;
  frame.AreaHeight = 120;
  frame.Target = TRect{40, 0, 80, 120};  // the middle half of the area
  frame.Picture = picture;
  return frame;
}

TEST(WidgetSurface, PaintsTheNewestFramePresentedFromAnotherThread) {
  WidgetSurface surface;
  surface.resize(320, 240);
  surface.show();
  QApplication::processEvents();
  int width = 0, height = 0;
  surface.AreaSize(width, height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);

  std::thread play_thread([&] {
    surface.Present(SolidFrame(0, 0, 255));  // red, overtaken before it is painted
    surface.Present(SolidFrame(255, 0, 0));  // blue
  });
  play_thread.join();
  for (int i = 0; i < 20 && surface.PaintedFrames() == 0; ++i) QApplication::processEvents();
  EXPECT_EQ(surface.PaintedFrames(), 1);

  const QImage shot = surface.grab().toImage();
  EXPECT_EQ(shot.pixelColor(160, 120), QColor(Qt::blue));  // inside the target
  EXPECT_EQ(shot.pixelColor(20, 120), QColor(Qt::black));  // left of it
  EXPECT_EQ(shot.pixelColor(300, 10), QColor(Qt::black));  // right of it
}

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv) {
  // Also when the suite is only listed: no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
