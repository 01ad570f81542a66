#include "cli/command_convert_gui.h"

#include <QGuiApplication>
#include <cstdlib>

namespace kestrel::cli {
namespace {

class QtOffscreenGui : public OffscreenGui {
 public:
  QtOffscreenGui() : app_(argc_, argv_) {}

 private:
  static inline char name_[] = "kestrel-cli";
  static inline char* argv_[] = {name_, nullptr};
  static inline int argc_ = 1;
  QGuiApplication app_;
};

}  // namespace

std::unique_ptr<OffscreenGui> StartOffscreenGui() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return std::make_unique<QtOffscreenGui>();
}

}  // namespace kestrel::cli
