#include "host/line_tracer.h"

#include <cstdio>

namespace qmt {

std::string LineTracer::LineCallText(TracePoint anchor, int dx, int dy) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "line(%d,%d,%d,%d)\r\n", anchor.x, anchor.y, dx, dy);
  return buf;
}

std::string LineTracer::MouseText(int x, int y) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%5d,%5d", x, y);
  return buf;
}

void LineTracer::TraceLine(MouseButtons buttons, int x, int y, MouseEventKind kind,
                           TraceSurface& surface, TraceTarget* target) {
  if (buttons.left) {
    if (!dragging_) {
      dragging_ = true;
      anchor_ = {x, y};
    }
  } else {
    dragging_ = false;
  }

  if (band_shown_) {
    surface.XorLine(anchor_, end_);
    band_shown_ = false;
  }
  if (dragging_) {
    end_ = {x, y};
    surface.XorLine(anchor_, end_);
    band_shown_ = true;
  }
  const int dx = end_.x - anchor_.x;
  const int dy = end_.y - anchor_.y;

  if (target == nullptr) return;
  if (target->ToolsPageShowing()) target->SetMouseText(MouseText(x, y));

  if (kind == MouseEventKind::Press && buttons.right) {
    const std::string text = LineCallText(anchor_, dx, dy);
    // The band stays drawn until the display repaints.
    band_shown_ = false;
    switch (target->ActivePage()) {
      case TraceTarget::Page::Test:
        target->InsertIntoScript(text);
        break;
      case TraceTarget::Page::Macro:
        target->InsertIntoEditor(text);
        break;
      default:
        break;
    }
  }
}

}  // namespace qmt
