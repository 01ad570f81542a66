// A Qt widget that shows what a player presents. The play thread only swaps the newest
// frame into a one-entry slot and asks for a repaint; the GUI thread paints it, scaled
// from the player's display area to the widget.
#pragma once

#include <QWidget>
#include <atomic>
#include <mutex>

#include "player/custom_player.h"
#include "player/video_surface.h"

namespace kestrel {

class WidgetSurface : public QWidget, public VideoSurface {
  Q_OBJECT

 public:
  explicit WidgetSurface(QWidget* parent = nullptr);

  // The player told about resizes and exposures; it must be stopped before this widget
  // goes away.
  void SetPlayer(TCustomPlayer* player) { player_ = player; }

  void AreaSize(int& width, int& height) const override;
  void Present(const SurfaceFrame& frame) override;

  std::int64_t PaintedFrames() const { return painted_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  TCustomPlayer* player_ = nullptr;
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  std::mutex slot_mutex_;
  SurfaceFrame slot_;             // guarded by slot_mutex_; the newest frame
  bool repaint_pending_ = false;  // guarded by slot_mutex_
  std::int64_t painted_ = 0;      // GUI thread
};

}  // namespace kestrel
