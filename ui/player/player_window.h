// The window of kestrel-player: a widget surface playing one file, driven by the keys
// space (pause), left/right (seek 10 s), m (mute) and s (snapshot).
#pragma once

#include <QWidget>
#include <string>

#include "player/custom_player.h"
#include "ui/player/widget_surface.h"

namespace kestrel {

class PlayerWindow : public QWidget {
  Q_OBJECT

 public:
  // quit_at_end: close the window when the file has played to its end.
  PlayerWindow(TMediaPlayer& player, bool quit_at_end);

  bool Play(const std::string& file_name);
  WidgetSurface& Surface() { return *surface_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SaveSnapshot();
  void ShowState(TPlayState state);

  TMediaPlayer& player_;
  WidgetSurface* surface_;
  bool quit_at_end_;
};

}  // namespace kestrel
