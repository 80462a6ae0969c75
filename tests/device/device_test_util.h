// Helpers shared by the device tests.
#pragma once

#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "device/window_surface.h"

namespace qmt::test {

// Records what the device tells the view.
struct RecordingSurface : WindowSurface {
  struct Area {
    int x0, y0, x1, y1;
    bool operator==(const Area&) const = default;
  };
  std::vector<Area> areas;
  int pageChanges = 0;
  void AreaChanged(int x0, int y0, int x1, int y1) override { areas.push_back({x0, y0, x1, y1}); }
  void PageChanged() override { ++pageChanges; }
  void Clear() {
    areas.clear();
    pageChanges = 0;
  }
};

inline std::uint8_t PixelAt(const TQMT3308& d, int page, int x, int y) { return d.Page(page)[y * 640 + x]; }

// Pixels of the drawing page with byte `value`, as (x, y) pairs, in row order.
inline std::vector<std::pair<int, int>> PixelsOf(const TQMT3308& d, std::uint8_t value) {
  std::vector<std::pair<int, int>> out;
  const std::uint8_t* p = d.DrawingPageBytes();
  for (int i = 0; i < 640 * 480; ++i)
    if (p[i] == value) out.emplace_back(i % 640, i / 640);
  return out;
}

}  // namespace qmt::test
