#include "ui/player/widget_surface.h"

#include <QImage>
#include <QPainter>
#include <QResizeEvent>

namespace kestrel {

WidgetSurface::WidgetSurface(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(160, 90);
}

void WidgetSurface::AreaSize(int& width, int& height) const {
  width = width_;
  height = height_;
}

void WidgetSurface::Present(const SurfaceFrame& frame) {
  {
    std::lock_guard lock(slot_mutex_);
    slot_ = frame;
    if (repaint_pending_) return;
    repaint_pending_ = true;
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void WidgetSurface::paintEvent(QPaintEvent*) {
  SurfaceFrame frame;
  {
    std::lock_guard lock(slot_mutex_);
    frame = slot_;
    repaint_pending_ = false;
  }
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!frame.Picture || frame.AreaWidth <= 0 || frame.AreaHeight <= 0) return;
  const TBitmap& picture = *frame.Picture;
  const QImage image(picture.Bits.data(), picture.Width, picture.Height, picture.Stride,
                     QImage::Format_BGR888);
  const double sx = static_cast<double>(width()) / frame.AreaWidth;
  const double sy = static_cast<double>(height()) / frame.AreaHeight;
  const QRectF target(frame.Target.Left * sx, frame.Target.Top * sy, frame.Target.Width * sx,
                      frame.Target.Height * sy);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, image);
  ++painted_;
}

void WidgetSurface::resizeEvent(QResizeEvent* event) {
  width_ = event->size().width();
  height_ = event->size().height();
  if (player_) player_->NotifyResize(width_, height_);
  QWidget::resizeEvent(event);
}

void WidgetSurface::showEvent(QShowEvent* event) {
  if (player_) player_->NotifyExpose();
  QWidget::showEvent(event);
}

}  // namespace kestrel
