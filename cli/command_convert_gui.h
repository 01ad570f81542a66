// The text mark draws with the font system of a GUI application object; the command line
// makes one on the offscreen platform, so no display is needed.
#pragma once

#include <memory>

namespace kestrel::cli {

class OffscreenGui {
 public:
  virtual ~OffscreenGui() = default;
};

// Creates the process's GUI application object (call on the main thread, keep it alive
// while conversions draw text).
std::unique_ptr<OffscreenGui> StartOffscreenGui();

}  // namespace kestrel::cli
