// What an attached view hears from the device.  The view reads the pixels
// straight from the display page's bytes (TQMT3308::DisplayPageBytes), so only
// the news that something changed crosses this interface.
#pragma once

namespace qmt {

class WindowSurface {
 public:
  virtual ~WindowSurface();
  // The inclusive rectangle (x0, y0)-(x1, y1) of the display page changed.
  // Reported once per drawing operation, already clipped to the page.
  virtual void AreaChanged(int x0, int y0, int x1, int y1) = 0;
  // The whole display page must be shown again (DS, ER, TF, loads).
  virtual void PageChanged() = 0;
};

}  // namespace qmt
