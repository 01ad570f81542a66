#include "effects/text_mark.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>

namespace kestrel {

void CheckTextMarkSupport() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    throw TEffectsError("Cannot draw the text mark: no QGuiApplication has been created");
  }
}

namespace {

QFont MakeFont(const TWaterFont& wf) {
  QFont font(QString::fromStdString(wf.Name));
  font.setPixelSize(FontPixelSize(wf.Size));
  font.setBold((wf.Style & fsBold) != 0);
  font.setItalic((wf.Style & fsItalic) != 0);
  font.setUnderline((wf.Style & fsUnderline) != 0);
  font.setStrikeOut((wf.Style & fsStrikeOut) != 0);
  return font;
}

QColor MakeColor(std::uint32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// Paints on `image`, whose first row is the frame's row `first_row`.
void PaintText(QImage image, int first_row, const std::string& text, const TWaterFont& font, int x,
               int y) {
  QPainter painter(&image);
  painter.setFont(MakeFont(font));
  painter.setPen(MakeColor(font.Color));
  painter.setBackgroundMode(Qt::TransparentMode);
  const double baseline = static_cast<double>(y) - first_row + painter.fontMetrics().ascent();
  painter.drawText(QPointF(x, baseline), QString::fromStdString(text));
}

// Swaps row i with row height-1-i.
void ReverseRows(const TBgrFrame& band) {
  const int row_bytes = 3 * band.width;
  for (int i = 0, j = band.height - 1; i < j; ++i, --j) {
    std::swap_ranges(band.Row(i), band.Row(i) + row_bytes, band.Row(j));
  }
}

}  // namespace

int FontPixelSize(int points) {
  const long long pixels = std::llround(points * 96.0 / 72.0);
  return pixels < 1 ? 1 : static_cast<int>(std::min(pixels, 100000LL));
}

TTextBox MeasureTextMark(const std::string& text, const TWaterFont& font, int x, int y) {
  CheckTextMarkSupport();
  const QFontMetrics metrics(MakeFont(font));
  const QString line = QString::fromStdString(text);
  // The line box, united with the ink that may overhang it, relative to the top-left.
  QRect box(0, 0, metrics.horizontalAdvance(line), metrics.height());
  box |= metrics.boundingRect(line).translated(0, metrics.ascent());
  box.adjust(-1, -1, 1, 1);
  return {x + box.x(), y + box.y(), box.width(), box.height()};
}

void DrawTextMark(const TBgrFrame& frame, const std::string& text, const TWaterFont& font, int x,
                  int y) {
  CheckFrame(frame, "DrawTextMark");
  if (frame.Empty() || text.empty() || x >= frame.width || y >= frame.height) return;
  CheckTextMarkSupport();
  if (frame.stride > 0) {
    PaintText(QImage(frame.data, frame.width, frame.height, frame.stride, QImage::Format_BGR888), 0,
              text, font, x, y);
    return;
  }
  // QImage takes rows top-down only. For a bottom-up frame the rows the text can reach
  // are put in top-down order in place, painted, and put back.
  const TTextBox box = MeasureTextMark(text, font, x, y);
  const int top = std::clamp(box.y, 0, frame.height);
  const int bottom = static_cast<int>(std::clamp(static_cast<long long>(box.y) + box.height, 0LL,
                                                 static_cast<long long>(frame.height)));
  if (bottom <= top) return;
  const TBgrFrame band{frame.Row(bottom - 1), frame.width, bottom - top, -frame.stride};
  ReverseRows(band);
  PaintText(QImage(band.data, band.width, band.height, band.stride, QImage::Format_BGR888), top,
            text, font, x, y);
  ReverseRows(band);
}

}  // namespace kestrel
