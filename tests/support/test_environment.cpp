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
