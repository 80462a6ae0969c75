#include "ui/scr_tool_band.h"

#include <QEvent>
#include <QPainter>

#include "ui/display_view.h"
#include "ui/scr_tool.h"

namespace qmt {

namespace {
bool Same(const std::pair<TracePoint, TracePoint>& l, TracePoint a, TracePoint b) {
  return l.first.x == a.x && l.first.y == a.y && l.second.x == b.x && l.second.y == b.y;
}
}  // namespace

RubberBand::RubberBand(QWidget* display, std::function<int()> scale)
    : QWidget(display), scale_(std::move(scale)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(display->rect());
  display->installEventFilter(this);
  raise();
  show();
}

void RubberBand::XorLine(TracePoint from, TracePoint to) {
  for (auto it = lines_.begin(); it != lines_.end(); ++it) {
    if (Same(*it, from, to)) {
      lines_.erase(it);
      update();
      return;
    }
  }
  lines_.push_back({from, to});
  update();
}

void RubberBand::ForgetLeftovers(TracePoint anchor, TracePoint end, bool bandShown) {
  std::vector<std::pair<TracePoint, TracePoint>> keep;
  for (const auto& l : lines_)
    if (bandShown && Same(l, anchor, end)) keep.push_back(l);
  if (keep.size() != lines_.size()) {
    lines_ = std::move(keep);
    update();
  }
}

void RubberBand::paintEvent(QPaintEvent*) {
  if (lines_.empty()) return;
  QPainter p(this);
  // Exclusive-or against what the display painted beneath.
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  const int s = scale_ ? scale_() : 1;
  p.setPen(QPen(QColor(0, 255, 255), s));
  const double half = s / 2.0;
  for (const auto& [a, b] : lines_)
    p.drawLine(QPointF(a.x * s + half, a.y * s + half), QPointF(b.x * s + half, b.y * s + half));
}

bool RubberBand::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
  return QWidget::eventFilter(watched, event);
}

RubberBand* AttachLineTracer(DisplayView& display, TfScrTool& tool) {
  auto* band = new RubberBand(&display, [&display] { return display.Zoom(); });
  QObject::connect(&display, &DisplayView::DeviceMouse, band,
                   [band, &tool](int kind, int x, int y, Qt::KeyboardModifiers, Qt::MouseButtons buttons) {
                     const MouseButtons held{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0};
                     const LineTracer& t = tool.Tracer();
                     if (held.left && !t.Dragging()) band->ForgetLeftovers(t.Anchor(), t.End(), t.BandShown());
                     tool.TraceLine(held, x, y, static_cast<MouseEventKind>(kind), *band);
                   });
  return band;
}

}  // namespace qmt
