// Lines, rectangles, points and circles: LA LR TA TR PA PR RA.  Each draws
// on the drawing page and, when that page is on show, reports the changed
// area to the attached view.
#include "device/commands.h"
#include "device/line_reader.h"
#include "device/qmt3308.h"
#include "device/raster.h"

namespace qmt::cmd {
namespace {

// The graphic point moves in 32-bit arithmetic that wraps.
Point Offset(Point p, std::int32_t dx, std::int32_t dy) {
  return Point{static_cast<std::int32_t>(static_cast<std::uint32_t>(p.x) + static_cast<std::uint32_t>(dx)),
               static_cast<std::int32_t>(static_cast<std::uint32_t>(p.y) + static_cast<std::uint32_t>(dy))};
}

void Report(TQMT3308& d, const raster::Box& box) {
  if (!box.Empty()) d.NotifyAreaChanged(box.x0, box.y0, box.x1, box.y1);
}

void DrawLine(TQMT3308& d, Point from, Point to, int flag, std::uint8_t colour) {
  Report(d, raster::Line(d.DrawingPageBytes(), from.x, from.y, to.x, to.y, flag == 0 ? 0 : colour));
  d.MutableState().graphicPoint = to;
}

void DrawRectangle(TQMT3308& d, Point a, Point b, int type, std::uint8_t colour) {
  std::uint8_t* page = d.DrawingPageBytes();
  switch (type) {
    case 0: Report(d, raster::Outline(page, a.x, a.y, b.x, b.y, colour)); break;
    case 1: Report(d, raster::FillCorners(page, a.x, a.y, b.x, b.y, colour)); break;
    case 2: Report(d, raster::FillCorners(page, b.x, b.y, a.x, a.y, 0x00)); break;
    default: break;
  }
  d.MutableState().graphicPoint = b;
}

// A pixel outside the columns is not stored; one outside the rows fails and
// leaves the graphic point where it was.
void SetPixel(TQMT3308& d, Point p, std::uint8_t colour) {
  if (p.y < 0 || p.y >= kPageHeight) msg::Fail(msg::ScanLine());
  if (p.x >= 0 && p.x < kPageWidth) {
    d.DrawingPageBytes()[p.y * kPageWidth + p.x] = colour;
    d.NotifyAreaChanged(p.x, p.y, p.x, p.y);
  }
}

// Two corners: four bounded numbers, read the short way when they allow it.
void Corners(LineReader& r, Point& a, Point& b) {
  static constexpr std::int32_t kHighs[] = {640, 480, 640, 480};
  std::int32_t v[4];
  if (r.ShortNumbers(4, kHighs, v)) {
    a = Point{v[0], v[1]};
    b = Point{v[2], v[3]};
    return;
  }
  a.x = r.Bounded(640);
  a.y = r.Bounded(480);
  b.x = r.Bounded(640);
  b.y = r.Bounded(480);
}

}  // namespace

// LA x1,y1,x2,y2,f[,c] end
void LA(TQMT3308& d, LineReader& r) {
  Point from, to;
  Corners(r, from, to);
  int flag = r.Digit();
  std::uint8_t colour = r.ColourSuffix(d.Colour());
  r.End();
  DrawLine(d, from, to, flag, colour);
}

// LR dx,dy,f[,c] end
void LR(TQMT3308& d, LineReader& r) {
  std::int32_t dx = r.Bounded(-640);
  std::int32_t dy = r.Bounded(-480);
  int flag = r.Digit();
  std::uint8_t colour = r.ColourSuffix(d.Colour());
  r.End();
  Point from = d.GraphicPoint();
  DrawLine(d, from, Offset(from, dx, dy), flag, colour);
}

// TA x1,y1,x2,y2,t[,c] end
void TA(TQMT3308& d, LineReader& r) {
  Point a, b;
  Corners(r, a, b);
  int type = r.Digit();
  std::uint8_t colour = r.ColourSuffix(d.Colour());
  r.End();
  DrawRectangle(d, a, b, type, colour);
}

// TR dx,dy,t[,c] end
void TR(TQMT3308& d, LineReader& r) {
  std::int32_t dx = r.Bounded(-640);
  std::int32_t dy = r.Bounded(-480);
  int type = r.Digit();
  std::uint8_t colour = r.ColourSuffix(d.Colour());
  r.End();
  Point a = d.GraphicPoint();
  DrawRectangle(d, a, Offset(a, dx, dy), type, colour);
}

// PA x,y[,f[,c]] end
void PA(TQMT3308& d, LineReader& r) {
  static constexpr std::int32_t kHighs[] = {640, 480};
  std::int32_t v[2];
  Point p;
  if (r.ShortNumbers(2, kHighs, v)) {
    p = Point{v[0], v[1]};
  } else {
    p.x = r.Bounded(640);
    p.y = r.Bounded(480);
  }
  int flag = 0;
  std::uint8_t colour = d.Colour();
  if (r.Separator() == ',') {
    flag = r.Digit();
    colour = r.ColourSuffix(colour);
  }
  r.End();
  if (flag != 0) SetPixel(d, p, colour);
  d.MutableState().graphicPoint = p;
}

// PR dx,dy[,f[,c] end]
void PR(TQMT3308& d, LineReader& r) {
  std::int32_t dx = r.Bounded(-640);
  std::int32_t dy = r.Bounded(-480);
  int flag = 0;
  std::uint8_t colour = d.Colour();
  if (r.Separator() == ',') {
    flag = r.Digit();
    colour = r.ColourSuffix(colour);
    r.End();
  }
  Point p = Offset(d.GraphicPoint(), dx, dy);
  if (flag != 0) SetPixel(d, p, colour);
  d.MutableState().graphicPoint = p;
}

// RA x,y,r[,c]  (no end check)
void RA(TQMT3308& d, LineReader& r) {
  Point centre;
  centre.x = r.Bounded(640);
  centre.y = r.Bounded(480);
  std::int32_t radius = r.Number();
  std::uint8_t colour = d.Colour();
  if (r.Separator() == ',') colour = SevenColour(r.Character());
  Report(d, raster::Circle(d.DrawingPageBytes(), centre.x, centre.y, radius, colour));
  d.MutableState().graphicPoint = centre;
}

}  // namespace qmt::cmd
