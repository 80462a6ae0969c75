#include "ui/display_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPaintEvent>

#include "device/colour.h"
#include "device/qmt3308.h"

namespace qmt {

QList<QRgb> DeviceColourTable() {
  QList<QRgb> table;
  table.reserve(256);
  for (int i = 0; i < 256; ++i) {
    Rgb c = ColourToRGB(static_cast<std::uint8_t>(i));
    table.append(qRgb(c.r, c.g, c.b));
  }
  return table;
}

DisplayView::DisplayView(TQMT3308& device, QWidget* parent) : QWidget(parent), device_(device) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  SetZoom(1);
  Bind();
  device_.SetWindowSurface(this);
}

DisplayView::~DisplayView() {
  if (device_.GetWindowSurface() == this) device_.SetWindowSurface(nullptr);
}

void DisplayView::Bind() {
  const unsigned char* bytes = device_.DisplayPageBytes();
  if (bytes == bound_ && !image_.isNull()) return;
  // The image borrows the page's bytes: no copy, always current.
  image_ = QImage(bytes, kPageWidth, kPageHeight, kPageWidth, QImage::Format_Indexed8);
  image_.setColorTable(DeviceColourTable());
  bound_ = bytes;
}

void DisplayView::SetZoom(int zoom) {
  zoom_ = std::clamp(zoom, 1, 3);
  setFixedSize(kPageWidth * zoom_, kPageHeight * zoom_);
  update();
}

QPoint DisplayView::ToDevice(QPoint p) const {
  return {std::clamp(p.x() / zoom_, 0, kPageWidth - 1), std::clamp(p.y() / zoom_, 0, kPageHeight - 1)};
}

QImage DisplayView::PageImage() const {
  QImage copy(device_.DisplayPageBytes(), kPageWidth, kPageHeight, kPageWidth, QImage::Format_Indexed8);
  copy.setColorTable(DeviceColourTable());
  return copy.copy();
}

void DisplayView::AreaChanged(int x0, int y0, int x1, int y1) {
  update(QRect(QPoint(x0 * zoom_, y0 * zoom_), QPoint((x1 + 1) * zoom_ - 1, (y1 + 1) * zoom_ - 1)));
}

void DisplayView::PageChanged() {
  Bind();
  update();
}

void DisplayView::paintEvent(QPaintEvent* event) {
  Bind();
  QPainter painter(this);
  QRect target = event->rect();
  // The page rectangle behind the target, widened to whole device pixels.
  QRect source(QPoint(target.left() / zoom_, target.top() / zoom_),
               QPoint(target.right() / zoom_, target.bottom() / zoom_));
  source &= QRect(0, 0, kPageWidth, kPageHeight);
  painter.drawImage(QRect(source.topLeft() * zoom_, source.size() * zoom_), image_, source);
  if (band_.isEmpty()) return;
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(QColor(0, 255, 255), zoom_));
  for (const QLine& l : band_) {
    QPoint half(zoom_ / 2, zoom_ / 2);
    painter.drawLine(l.p1() * zoom_ + half, l.p2() * zoom_ + half);
  }
}

QRect DisplayView::WidgetRect(QLine line) const {
  QRect r = QRect(line.p1(), line.p2()).normalized();
  return QRect(r.topLeft() * zoom_, (r.bottomRight() + QPoint(1, 1)) * zoom_).adjusted(-2, -2, 2, 2);
}

void DisplayView::XorLine(TracePoint from, TracePoint to) {
  QLine line(from.x, from.y, to.x, to.y);
  if (!band_.removeOne(line)) band_.append(line);
  update(WidgetRect(line));
}

void DisplayView::mousePressEvent(QMouseEvent* e) {
  QPoint p = ToDevice(e->position().toPoint());
  emit DeviceMouse(1, p.x(), p.y(), e->modifiers(), e->buttons() | e->button());
}

void DisplayView::mouseMoveEvent(QMouseEvent* e) {
  QPoint p = ToDevice(e->position().toPoint());
  emit DeviceMouse(0, p.x(), p.y(), e->modifiers(), e->buttons());
}

void DisplayView::mouseReleaseEvent(QMouseEvent* e) {
  QPoint p = ToDevice(e->position().toPoint());
  // The buttons still held: the released one is no longer among them.
  emit DeviceMouse(2, p.x(), p.y(), e->modifiers(), e->buttons());
}

}  // namespace qmt
