// Compiled into every test executable: the environment the suite runs in, set before any
// test (or Qt, or SDL) reads it. Values already set by the caller win.
#include <cstdlib>
#include <string>

namespace {
struct TestEnvironment {
  TestEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("KESTREL_TEST_TMP", (std::string(KESTREL_BINARY_DIR) + "/test-tmp").c_str(), 0);
  }
} const test_environment;
}  // namespace

// The media libraries and Qt are not built for ThreadSanitizer: their own threads
// (codec slice threads, reference counts, font caches) would otherwise show up as races.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libavcodec.so\nrace:libavutil.so\nrace:libavfilter.so\nrace:libavformat.so\n"
         "race:libswscale.so\nrace:libswresample.so\nrace:libx264.so\n"
         "race:libQt6Core.so\nrace:libQt6Gui.so\n";
}
