// The line tracer's rubber band over the simulator's display: lines drawn in
// exclusive-or mode with a cyan pen, so that drawing a line a second time
// takes it away again.  A transparent child laid over the display widget
// keeps the lines that are drawn and paints them over the page.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "host/line_tracer.h"

namespace qmt {

class DisplayView;
class TfScrTool;

class RubberBand : public QWidget, public TraceSurface {
  Q_OBJECT
 public:
  // `display` is the widget showing the page; `scale` gives its zoom.
  RubberBand(QWidget* display, std::function<int()> scale);

  // TraceSurface: the second drawing of a line removes it.
  void XorLine(TracePoint from, TracePoint to) override;
  // Lines left drawn (the band of a line written while dragging) go when a
  // new drag starts.
  void ForgetLeftovers(TracePoint anchor, TracePoint end, bool bandShown);

  const std::vector<std::pair<TracePoint, TracePoint>>& Lines() const { return lines_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<std::pair<TracePoint, TracePoint>> lines_;
  std::function<int()> scale_;
};

// Feeds the mouse on the simulator's display to the tool window's line
// tracer, with the rubber band laid over the display.
RubberBand* AttachLineTracer(DisplayView& display, TfScrTool& tool);

}  // namespace qmt
