#include "ui/grid_overlay.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "support/encoding.h"
#include "support/spliter.h"

namespace qmt {

std::optional<GridPoint> ReadGridPair(const std::string& text, std::string& error) {
  try {
    TStringSpliter sp(text);
    const auto number = [&]() -> int {
      sp.SkipBlanks();
      const std::int64_t v = sp.ReadNumber();
      if (sp.Count() == 0) sp.Error(Sjis("数値がない"));
      return static_cast<int>(v);
    };
    GridPoint p;
    p.x = number();
    sp.SkipBlanks();
    if (!sp.AtEnd() && sp.Current() == ',') {
      sp.NextChar();
      p.y = number();
    } else {
      p.y = p.x;
    }
    return p;
  } catch (const SilentAbort& e) {
    error = e.message();
  } catch (const std::exception& e) {
    error = e.what();
  }
  return std::nullopt;
}

std::vector<GridLine> GridLines(GridPoint start, GridPoint step, int width, int height) {
  std::vector<GridLine> lines;
  if (step.x <= 0 || step.y <= 0) return lines;
  // 64-bit counters: a start far below zero must not overflow or loop long.
  for (long long x = start.x; x <= width; x += step.x)
    if (x >= 0) lines.push_back({static_cast<int>(x), 0, static_cast<int>(x), height});
  for (long long y = start.y; y <= height; y += step.y)
    if (y >= 0) lines.push_back({0, static_cast<int>(y), width, static_cast<int>(y)});
  return lines;
}

GridOverlay::GridOverlay(std::vector<GridLine> lines, QColor colour)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                           Qt::WindowTransparentForInput),
      lines_(std::move(lines)),
      colour_(colour),
      timer_(new QTimer(this)) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
  // Only the lines belong to the window, so the screen shows through even
  // where no compositor makes the background transparent.
  QRegion shape;
  for (const GridLine& l : lines_) {
    if (l.x0 == l.x1) shape += QRect(l.x0, std::min(l.y0, l.y1), 1, std::abs(l.y1 - l.y0) + 1);
    else shape += QRect(std::min(l.x0, l.x1), l.y0, std::abs(l.x1 - l.x0) + 1, 1);
  }
  if (!shape.isEmpty()) setMask(shape);
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &QWidget::close);
  timer_->start(kShowMilliseconds);
  qApp->installEventFilter(this);
}

GridOverlay::~GridOverlay() { qApp->removeEventFilter(this); }

void GridOverlay::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(colour_);
  // Scanning to at most x = W (y = H) means the last line may lie just off a
  // window of W x H pixels, as on the device's screen.
  for (const GridLine& l : lines_) p.drawLine(l.x0, l.y0, l.x1, l.y1);
}

bool GridOverlay::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) close();
  return QWidget::eventFilter(watched, event);
}

}  // namespace qmt
