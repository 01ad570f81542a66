#include "ui/player/player_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <cstdio>

namespace kestrel {

PlayerWindow::PlayerWindow(TMediaPlayer& player, bool quit_at_end)
    : player_(player), surface_(new WidgetSurface(this)), quit_at_end_(quit_at_end) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(surface_);
  surface_->SetPlayer(&player_);
  setFocusProxy(surface_);
  resize(640, 360);
  player_.SetHook(false);
  player_.SetOnState([this](TCustomPlayer&, TPlayState state) { ShowState(state); });
}

bool PlayerWindow::Play(const std::string& file_name) {
  setWindowTitle(QString::fromStdString("kestrel-player - " + file_name));
  // The area is the widget's size from the first resize on.
  return player_.Open(file_name, surface_);
}

void PlayerWindow::ShowState(TPlayState state) {
  if (state == psEnd && quit_at_end_) close();
}

void PlayerWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      if (player_.PlayState() == psPause) {
        player_.Resume();
      } else {
        player_.Pause();
      }
      break;
    case Qt::Key_Left:
      player_.SeekRelative(-10, 0, false);
      break;
    case Qt::Key_Right:
      player_.SeekRelative(10, 0, false);
      break;
    case Qt::Key_M:
      player_.SetMute(!player_.Mute());
      break;
    case Qt::Key_S:
      SaveSnapshot();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void PlayerWindow::SaveSnapshot() {
  const TBitmap& frame = player_.CurrentFrame();
  if (frame.Empty()) {
    std::fprintf(stderr, "no picture to save\n");
    return;
  }
  const QImage image =
      QImage(frame.Bits.data(), frame.Width, frame.Height, frame.Stride, QImage::Format_BGR888)
          .copy();
  for (const char* name : {"Snapshot_full.bmp", "Snapshot_full.jpg"}) {
    if (image.save(name)) {
      std::printf("saved %s\n", name);
    } else {
      std::fprintf(stderr, "could not save %s\n", name);
    }
  }
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
  player_.Stop(true);
  event->accept();
  QApplication::quit();
}

}  // namespace kestrel
