// The measuring grid: lines every step pixels from a start point, shown over
// the whole screen in a transparent window that lets clicks through and goes
// away at the next click in the program or after a few seconds.
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

class QTimer;

namespace qmt {

struct GridPoint {
  int x = 0;
  int y = 0;
};

// Reads "a" or "a , b" (a single number stands for both).  Returns nothing
// and fills `error` when the text does not start with a number.
std::optional<GridPoint> ReadGridPair(const std::string& text, std::string& error);

struct GridLine {
  int x0, y0, x1, y1;
};

// Vertical lines at x = start.x + k * step.x while x <= width, then
// horizontal ones at y = start.y + k * step.y while y <= height.  Nothing when
// either step is not greater than 0.
std::vector<GridLine> GridLines(GridPoint start, GridPoint step, int width, int height);

class GridOverlay : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kShowMilliseconds = 4000;

  // Covers the primary screen; `colour` is the pen.
  GridOverlay(std::vector<GridLine> lines, QColor colour);
  ~GridOverlay() override;

 protected:
  void paintEvent(QPaintEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<GridLine> lines_;
  QColor colour_;
  QTimer* timer_;
};

}  // namespace qmt
