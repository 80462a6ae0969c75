#include "ui/scr_tool_palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "device/colour.h"

namespace qmt {

PaletteBox::PaletteBox(QWidget* parent) : QWidget(parent) {
  setMinimumSize(64, 256);
  setCursor(Qt::CrossCursor);
}

int PaletteBox::ColourAt(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return 0;
  return std::clamp(x * 4 / w + (y * 64 / h) * 4, 0, 255);
}

void PaletteBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width(), h = height();
  for (int j = 0; j < 64; ++j) {
    for (int i = 0; i < 4; ++i) {
      const Rgb rgb = ColourToRGB(static_cast<std::uint8_t>(4 * j + i));
      const QColor c(rgb.r, rgb.g, rgb.b);
      const QRect r(QPoint(i * w / 4, j * h / 64), QPoint((i + 1) * w / 4 - 1, (j + 1) * h / 64 - 1));
      p.fillRect(r, c);
      p.setPen(c);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    }
  }
}

void PaletteBox::mousePressEvent(QMouseEvent* e) {
  picking_ = true;
  mouseMoveEvent(e);
}

void PaletteBox::mouseMoveEvent(QMouseEvent* e) {
  if (!picking_) return;
  const QPoint pos = e->position().toPoint();
  emit picked(ColourAt(pos.x(), pos.y(), width(), height()));
}

void PaletteBox::mouseReleaseEvent(QMouseEvent*) { picking_ = false; }

}  // namespace qmt
