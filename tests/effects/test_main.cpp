// Text marks need the process's QGuiApplication (the font database lives there); the
// suite runs with the offscreen platform.
#include <gtest/gtest.h>

#include <QGuiApplication>

// Qt is not built with ThreadSanitizer: the raster painter's pooled threads are started,
// woken and joined through futexes it cannot see, so their teardown looks like a race.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\n";
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
