// The gauge built-ins s, arc, needle and CirFill.  All geometry is worked
// out here in 16-bit fixed point; the device only sees plain point, line and
// relative-line commands.
#include "runtime/gauges.h"

#include <cstdlib>
#include <utility>

#include "runtime/builtins.h"
#include "runtime/line_builder.h"

namespace qmt {
namespace {

// The high half of an unsigned 16 x 16 product.
inline std::uint16_t High(std::uint16_t a, std::uint16_t b) {
  return static_cast<std::uint16_t>((std::uint32_t{a} * b) >> 16);
}

inline std::int16_t Add16(std::int32_t a, std::int32_t b) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(a + b));
}

}  // namespace

std::int16_t ScaledSine(std::uint16_t angle, std::uint16_t r) {
  std::uint16_t a = angle;
  const bool negative = static_cast<std::int16_t>(a) < 0;
  if (negative) a = static_cast<std::uint16_t>(0u - a);
  if (a > 0x4000) a = static_cast<std::uint16_t>(0x8000 - a);
  std::uint16_t result;
  if (a <= 0x2800) {
    // Odd polynomial in the angle.
    const auto t = static_cast<std::uint16_t>(a * 4);
    const std::uint16_t t2 = High(t, t);
    auto u = static_cast<std::uint16_t>(0xA548 - High(t2, 0x13BE));
    u = static_cast<std::uint16_t>(0x9220 - High(t2, u));
    u = static_cast<std::uint16_t>(High(t, u) + t);
    result = High(r, u);
  } else {
    // Near the quarter turn: 1 - (1 - cos) of the distance to it.
    const auto t = static_cast<std::uint16_t>((0x4000 - a) * 8);
    const std::uint16_t t2 = High(t, t);
    auto u = static_cast<std::uint16_t>(0x4EF0 - High(t2, 0x3F9));
    u = High(t2, u);
    result = static_cast<std::uint16_t>(r - High(r, u));
  }
  return static_cast<std::int16_t>(negative ? static_cast<std::uint16_t>(0u - result) : result);
}

TGaugePoint PolarOffset(TGaugePoint centre, std::uint16_t angle, std::uint16_t r) {
  return {Add16(centre.x, ScaledSine(static_cast<std::uint16_t>(0u - angle), r)),
          Add16(centre.y, ScaledSine(static_cast<std::uint16_t>(0x4000 - angle), r))};
}

TTriangle NeedleTriangle(TGaugePoint centre, std::uint16_t angle, std::int16_t length) {
  const auto back = static_cast<std::uint16_t>(length >> 3);
  return {{PolarOffset(centre, angle, static_cast<std::uint16_t>(length)),
           PolarOffset(centre, static_cast<std::uint16_t>(angle - 0x6000), back),
           PolarOffset(centre, static_cast<std::uint16_t>(angle + 0x6000), back)}};
}

// ---- row stepper ----

TTriangleRows::TTriangleRows(const TTriangle& triangle) {
  p_[0] = triangle.p[0];
  p_[1] = triangle.p[1];
  p_[2] = triangle.p[2];
  // Sort by y; equal rows keep their order.
  if (p_[0].y > p_[1].y) std::swap(p_[0], p_[1]);
  if (p_[1].y > p_[2].y) {
    std::swap(p_[1], p_[2]);
    if (p_[0].y > p_[1].y) std::swap(p_[0], p_[1]);
  }
  Aim(b_, p_[0], p_[2]);
  Aim(a_, p_[0], p_[1]);
  if (a_.dy == 0) a_.x = p_[1].x;
}

void TTriangleRows::Aim(Edge& edge, TGaugePoint from, TGaugePoint to) {
  edge.dy = to.y - from.y;
  edge.dx = to.x - from.x;
  edge.err = edge.dy / 2;
  edge.x = from.x;
}

void TTriangleRows::Advance(Edge& edge) {
  if (edge.dy == 0) return;  // a flat edge has no rows to step through
  edge.err += edge.dx;
  const std::int32_t q = edge.err / edge.dy;
  edge.x += q;
  edge.err -= q * edge.dy;
}

bool TTriangleRows::Step(int y) {
  if (y < p_[0].y || y > p_[2].y) return false;
  if (y == p_[1].y) {
    // The short side turns the corner; x carries on from where it is.
    const std::int32_t x = a_.x;
    Aim(a_, p_[1], p_[2]);
    a_.x = x;
    return true;
  }
  Advance(a_);
  Advance(b_);
  return true;
}

namespace {

// ---- needle drawings ----

void Outline(TRuntimeContext& context, const TTriangle& t, std::uint8_t colour) {
  SetColour(context, colour);
  LineTo(context, t.p[0].x, t.p[0].y, t.p[1].x, t.p[1].y);
  LineTo(context, t.p[1].x, t.p[1].y, t.p[2].x, t.p[2].y);
  LineTo(context, t.p[2].x, t.p[2].y, t.p[0].x, t.p[0].y);
}

int Sign(std::int32_t v) { return (v > 0) - (v < 0); }

// Lines from the tip to the back edge, walked from corner 1 to corner 2.
void Fan(TRuntimeContext& context, const TTriangle& t, std::uint8_t colour) {
  SetColour(context, colour);
  const TGaugePoint tip = t.p[0];
  const TGaugePoint c1 = t.p[1];
  const TGaugePoint c2 = t.p[2];
  const std::int32_t dx = c2.x - c1.x;
  const std::int32_t dy = c2.y - c1.y;
  const std::int32_t adx = std::abs(dx);
  const std::int32_t ady = std::abs(dy);
  const int sx = Sign(dx);
  const int sy = Sign(dy);
  const bool yMajor = ady > adx;
  const std::int32_t length = yMajor ? ady + adx / 2 : adx + ady / 2;
  std::int32_t x = c1.x;
  std::int32_t y = c1.y;
  std::int32_t ex = 0;
  std::int32_t ey = 0;
  for (;;) {
    LineTo(context, tip.x, tip.y, x, y);
    ex += adx;
    ey += ady;
    if (ex >= length) {
      x += sx;
      ex -= length;
    }
    if (ey >= length) {
      y += sy;
      ey -= length;
    }
    if (yMajor ? y == c2.y : x == c2.x) break;
  }
}

void ScanFill(TRuntimeContext& context, const TTriangle& t, std::uint8_t colour) {
  TTriangleRows rows(t);
  for (int y = rows.Top(); y <= rows.Bottom(); ++y) {
    Span(context, colour, y, rows.Left(), rows.Right());
    rows.Step(y);
  }
}

void DrawNeedle(TRuntimeContext& context, const TTriangle& t, std::int16_t flags, std::uint8_t colour) {
  if (flags & 0x100) {
    ScanFill(context, t, colour);
  } else if (flags & 0x200) {
    Fan(context, t, colour);
  } else {
    Outline(context, t, colour);
  }
}

// Moves a filled needle from `oldT` to `newT` touching each row once:
// rows only the new needle covers are painted, rows only the old one
// covered are cleared, and shared rows get just the differences.
void Repaint(TRuntimeContext& context, const TTriangle& oldT, const TTriangle& newT, std::uint8_t colour,
             std::uint8_t background) {
  TTriangleRows o(oldT);
  TTriangleRows n(newT);
  int y = n.Top();
  for (; y < o.Top(); ++y) {
    Span(context, colour, y, n.Left(), n.Right());
    n.Step(y);
  }
  for (y = o.Top(); y <= o.Bottom(); ++y) {
    const int o1 = o.Left();
    const int o2 = o.Right();
    const int m1 = n.Left();
    const int m2 = n.Right();
    o.Step(y);
    if (!n.Step(y)) {
      Span(context, background, y, o1, o2);
      continue;
    }
    const bool leftIn = o1 < m1 && m1 < o2;
    const bool rightIn = o1 < m2 && m2 < o2;
    if (!leftIn && !rightIn) {
      if (!(m1 <= o1 && o2 <= m2)) Span(context, background, y, o1, o2);
      Span(context, colour, y, m1, m2);
    } else if (leftIn && !rightIn) {
      Span(context, background, y, o1, m1 - 1);
      Span(context, colour, y, o2, m2);
    } else if (rightIn && !leftIn) {
      Span(context, background, y, m2 + 1, o2);
      Span(context, colour, y, m1, o1);
    } else {
      Span(context, background, y, o1, m1 - 1);
      Span(context, background, y, m2 + 1, o2);
    }
  }
  for (; y <= n.Bottom(); ++y) {
    Span(context, colour, y, n.Left(), n.Right());
    n.Step(y);
  }
}

}  // namespace

// s(angle [, amplitude]) is the scaled sine; s(x0, y0, angle, radius,
// length) draws a scale tick and returns the x of its outer end.
std::int16_t BuiltinS(TRuntimeContext& context, int argc, const std::int16_t* args) {
  switch (argc) {
    case 0:
      return 0;
    case 1:
    case 2:
      return ScaledSine(static_cast<std::uint16_t>(args[0]), argc == 2 ? static_cast<std::uint16_t>(args[1]) : 256);
    case 5: {
      const std::int16_t x0 = args[0], y0 = args[1], angle = args[2], radius = args[3], length = args[4];
      auto point = [&](std::uint16_t r) {
        const int sx = ScaledSine(static_cast<std::uint16_t>(angle), r) + 1;
        const int sy = ScaledSine(static_cast<std::uint16_t>(angle + 0x4000), r) + 1;
        return TGaugePoint{Add16(x0, sx >> 2), Add16(y0, sy >> 2)};
      };
      const TGaugePoint inner = point(static_cast<std::uint16_t>(radius * 4));
      const TGaugePoint outer = point(static_cast<std::uint16_t>((radius + length) * 4));
      LineTo(context, outer.x, outer.y, inner.x, inner.y);
      return outer.x;
    }
    default:
      context.errorCode = kErrArgumentCount;
      return 0;
  }
}

// arc(x0, y0, radius, start, end, steps), clockwise from start to end.  With
// no steps (0 or fewer) only the move to the start point is sent.
std::int16_t BuiltinArc(TRuntimeContext& context, int argc, const std::int16_t* args) {
  std::int16_t p[6] = {100, 100, 100, 0x4000, static_cast<std::int16_t>(0xC000), 16};
  for (int i = 0; i < argc && i < 6; ++i) p[i] = args[i];
  const TGaugePoint centre{p[0], p[1]};
  const auto radius = static_cast<std::uint16_t>(p[2]);
  const auto start = static_cast<std::uint16_t>(p[3]);
  const auto end = static_cast<std::uint16_t>(p[4]);
  const int steps = p[5];
  TGaugePoint from = PolarOffset(centre, start, radius);
  MoveTo(context, from.x, from.y);
  if (steps <= 0) return 0;
  const auto step = static_cast<std::uint16_t>(static_cast<std::uint16_t>(end - start) / steps);
  std::uint16_t angle = start;
  for (int i = 1; i <= steps; ++i) {
    angle = i == steps ? end : static_cast<std::uint16_t>(angle + step);
    const TGaugePoint to = PolarOffset(centre, angle, radius);
    RelativeLine(context, to.x - from.x, to.y - from.y);
    from = to;
  }
  return 0;
}

// needle(x0, y0, angle, length, flags [, slot [, background]]).
std::int16_t BuiltinNeedle(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc < 5 || argc > 7) {
    context.errorCode = kErrArgumentCount;
    return -1;
  }
  TRuntimeState& state = StateOf(context);
  const TGaugePoint centre{args[0], args[1]};
  const auto angle = static_cast<std::uint16_t>(args[2]);
  const std::int16_t length = args[3];
  const std::int16_t flags = args[4];
  const auto colour = static_cast<std::uint8_t>(flags);
  const TTriangle now = NeedleTriangle(centre, angle, length);
  if (argc == 7) {
    std::int16_t& memory = state.needle[static_cast<std::uint16_t>(args[5])];
    if (static_cast<std::uint16_t>(memory) == angle) return 0;
    const TTriangle before = NeedleTriangle(centre, static_cast<std::uint16_t>(memory), length);
    memory = static_cast<std::int16_t>(angle);
    const auto background = static_cast<std::uint8_t>(args[6]);
    if (flags & 0x100) {
      Repaint(context, before, now, colour, background);
    } else {
      DrawNeedle(context, before, flags, background);
      DrawNeedle(context, now, flags, colour);
    }
    return 0;
  }
  if (argc == 6) state.needle[static_cast<std::uint16_t>(args[5])] = static_cast<std::int16_t>(angle);
  DrawNeedle(context, now, flags, colour);
  return 0;
}

// CirFill(x0, y0, radius): a disc from horizontal lines, midpoint rule.
std::int16_t BuiltinCirFill(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc != 3) {
    context.errorCode = kErrArgumentCount;
    return 0;
  }
  const std::int32_t x0 = args[0];
  const std::int32_t y0 = args[1];
  const std::int32_t radius = args[2];
  std::int32_t i = radius;
  std::int32_t j = 0;
  std::int32_t d = 3 - 2 * radius;
  while (i >= j) {
    LineTo(context, x0 - i, y0 - j, x0 + i, y0 - j);
    LineTo(context, x0 - i, y0 + j, x0 + i, y0 + j);
    if (d > 0) {
      LineTo(context, x0 - j, y0 + i, x0 + j, y0 + i);
      LineTo(context, x0 - j, y0 - i, x0 + j, y0 - i);
      d += 4 * (j - i) + 10;
      --i;
    } else {
      d += 4 * j + 6;
    }
    ++j;
  }
  return 0;
}

}  // namespace qmt
