// The line tracer: the user drags a line over the simulator's display with
// the left button and clicks the right button to have it written as a call
// of the built-in `line` (start point and offsets).  A rubber band drawn in
// exclusive-or mode follows the mouse while dragging.
#pragma once

#include <string>

namespace qmt {

// Kinds of mouse event, numbered as the simulator window passes them.
enum class MouseEventKind { Move = 0, Press = 1, Release = 2 };

// Buttons held at the time of the event.
struct MouseButtons {
  bool left = false;
  bool right = false;
};

struct TracePoint {
  int x = 0;
  int y = 0;
};

// The display surface the band is drawn on.  XorLine draws one line with a
// cyan pen in exclusive-or mode, so drawing the same line twice removes it.
class TraceSurface {
 public:
  virtual ~TraceSurface() = default;
  virtual void XorLine(TracePoint from, TracePoint to) = 0;
};

// The tool window as far as the tracer needs it.
class TraceTarget {
 public:
  enum class Page { Test, Tools, Macro, Other };
  virtual ~TraceTarget() = default;
  virtual Page ActivePage() const = 0;
  // Whether the tools page is visible (the window shown, the page in front).
  virtual bool ToolsPageShowing() const = 0;
  virtual void SetMouseText(const std::string& text) = 0;
  virtual void InsertIntoScript(const std::string& text) = 0;
  virtual void InsertIntoEditor(const std::string& text) = 0;
};

class LineTracer {
 public:
  // Handles one mouse event at device pixel (x, y).  `target` may be null
  // while the tool window does not exist.
  void TraceLine(MouseButtons buttons, int x, int y, MouseEventKind kind, TraceSurface& surface,
                 TraceTarget* target);

  bool Dragging() const { return dragging_; }
  bool BandShown() const { return band_shown_; }
  TracePoint Anchor() const { return anchor_; }
  TracePoint End() const { return end_; }

  // "line(x,y,dx,dy)" followed by CR LF.
  static std::string LineCallText(TracePoint anchor, int dx, int dy);
  // Both numbers right-aligned in five characters: "%5d,%5d".
  static std::string MouseText(int x, int y);

 private:
  bool dragging_ = false;
  bool band_shown_ = false;
  TracePoint anchor_;
  TracePoint end_;
};

}  // namespace qmt
