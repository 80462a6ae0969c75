// Gauge geometry in 16-bit fixed point: the scaled sine, polar offsets,
// needle triangles and the row stepper that fills them.  Angles are turn
// units, 65536 to the turn, growing clockwise on the screen.
#pragma once

#include <cstdint>

namespace qmt {

struct TGaugePoint {
  std::int16_t x = 0;
  std::int16_t y = 0;
  friend constexpr bool operator==(const TGaugePoint&, const TGaugePoint&) = default;
};

// r * sin(angle) within about 1 % of r; r is taken as unsigned.
std::int16_t ScaledSine(std::uint16_t angle, std::uint16_t r);

// (cx - r sin b, cy + r cos b): angle 0 points down the screen.
TGaugePoint PolarOffset(TGaugePoint centre, std::uint16_t angle, std::uint16_t r);

struct TTriangle {
  TGaugePoint p[3];
};

// Tip at `length` along the angle, two back corners at length / 8.
TTriangle NeedleTriangle(TGaugePoint centre, std::uint16_t angle, std::int16_t length);

// Walks a triangle row by row from its top to its bottom, keeping the x of
// the long edge and of the current short edge.
class TTriangleRows {
 public:
  explicit TTriangleRows(const TTriangle& triangle);

  int Top() const { return p_[0].y; }
  int Bottom() const { return p_[2].y; }
  // The two edges' x on the current row, in no particular order.
  int XA() const { return a_.x; }
  int XB() const { return b_.x; }
  int Left() const { return a_.x < b_.x ? a_.x : b_.x; }
  int Right() const { return a_.x < b_.x ? b_.x : a_.x; }
  // Moves both edges on from row y to the next; false, with nothing
  // changed, when y is outside the triangle's rows.
  bool Step(int y);

 private:
  struct Edge {
    std::int32_t dy = 0;
    std::int32_t dx = 0;
    std::int32_t err = 0;
    std::int32_t x = 0;
  };
  static void Aim(Edge& edge, TGaugePoint from, TGaugePoint to);
  static void Advance(Edge& edge);

  TGaugePoint p_[3];
  Edge a_;  // the short edges: p0 -> p1, then p1 -> p2
  Edge b_;  // the long edge p0 -> p2
};

}  // namespace qmt
