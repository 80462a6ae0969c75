// The rasterizer: lines, rectangles and circles on one 640 x 480 page,
// clipped to it.  The work of every primitive is bounded by the page, not by
// its coordinates, so far-off or huge shapes cost no more than visible ones.
#pragma once

#include <algorithm>
#include <cstdint>

#include "device/colour.h"

namespace qmt::raster {

// An inclusive rectangle of pixels; empty when x0 > x1 or y0 > y1.
struct Box {
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
  bool Empty() const { return x0 > x1 || y0 > y1; }
  void Add(const Box& b) {
    if (b.Empty()) return;
    if (Empty()) {
      *this = b;
      return;
    }
    x0 = std::min(x0, b.x0);
    y0 = std::min(y0, b.y0);
    x1 = std::max(x1, b.x1);
    y1 = std::max(y1, b.y1);
  }
};

// The straight line from (x1, y1) to (x2, y2), both ends included: the
// pixels of the walk from either end, so the same set whichever end is given
// first.  Returns the box of the pixels set.
Box Line(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, std::uint8_t c);

// Every pixel with x0 <= x <= x1 and y0 <= y <= y1 (inclusive, in order),
// clipped.  Returns the box of the pixels set.
Box Fill(std::uint8_t* page, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::uint8_t c);

// The outline of the rectangle with corners (x1, y1) and (x2, y2), all four
// sides with both corner rows and columns.
Box Outline(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, std::uint8_t c);

// The area the window system fills for the rectangle with corners (x1, y1)
// and (x2, y2): columns from the smaller x up to but not including the
// larger, rows likewise.
Box FillCorners(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
                std::uint8_t c);

// The one-pixel outline of the circle of radius r centred on (cx, cy): the
// pixels of the disc x^2 + y^2 <= r^2 + r that have a 4-neighbour outside
// it.  r <= 0 draws nothing.
Box Circle(std::uint8_t* page, std::int64_t cx, std::int64_t cy, std::int64_t r, std::uint8_t c);

}  // namespace qmt::raster
