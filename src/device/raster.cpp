#include "device/raster.h"

#include <cmath>
#include <cstring>

namespace qmt::raster {
namespace {

constexpr std::int64_t kW = kPageWidth;
constexpr std::int64_t kH = kPageHeight;

// floor(a / b) for b > 0.
__int128 FloorDiv(__int128 a, __int128 b) {
  __int128 q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

// A line walked along its major axis.  Step i (0..major) sits at
// major0 + i * majorStep and minor0 + m(i) * minorStep, where
// m(i) = floor((2 * i * minor + major) / (2 * major)): the minor offset
// rounded to the nearest pixel.  Only the steps whose major coordinate lies
// on the page are walked, so the work is at most one page side.
template <bool kMajorX>
Box WalkLine(std::uint8_t* page, std::int64_t major0, std::int64_t minor0, std::int64_t major, std::int64_t minor,
             int majorStep, int minorStep, std::uint8_t c) {
  const std::int64_t majorLimit = kMajorX ? kW : kH;
  const std::int64_t minorLimit = kMajorX ? kH : kW;
  // Steps with 0 <= major0 + i * majorStep < majorLimit, within 0..major.
  std::int64_t lo, hi;
  if (majorStep > 0) {
    lo = -major0;
    hi = majorLimit - 1 - major0;
  } else {
    lo = major0 - (majorLimit - 1);
    hi = major0;
  }
  lo = std::max<std::int64_t>(lo, 0);
  hi = std::min<std::int64_t>(hi, major);
  Box box;
  if (lo > hi) return box;

  const __int128 twoMajor = 2 * static_cast<__int128>(major);
  const __int128 start = 2 * static_cast<__int128>(lo) * minor + major;
  std::int64_t m = static_cast<std::int64_t>(FloorDiv(start, twoMajor));
  std::int64_t rem = static_cast<std::int64_t>(start - static_cast<__int128>(m) * twoMajor);
  const std::int64_t twoMajor64 = 2 * major;
  const std::int64_t twoMinor = 2 * minor;

  std::int64_t a = major0 + lo * majorStep;
  std::int64_t b = minor0 + m * minorStep;
  // The line is monotone, so its first and last visible pixels span the box.
  bool any = false;
  std::int64_t firstA = 0, firstB = 0, lastA = 0, lastB = 0;
  for (std::int64_t i = lo; i <= hi; ++i) {
    if (b >= 0 && b < minorLimit) {
      if (kMajorX) {
        page[b * kW + a] = c;
      } else {
        page[a * kW + b] = c;
      }
      if (!any) {
        any = true;
        firstA = a;
        firstB = b;
      }
      lastA = a;
      lastB = b;
    }
    a += majorStep;
    rem += twoMinor;
    if (rem >= twoMajor64) {
      rem -= twoMajor64;
      b += minorStep;
    }
  }
  if (!any) return box;
  std::int64_t x0 = kMajorX ? firstA : firstB, y0 = kMajorX ? firstB : firstA;
  std::int64_t x1 = kMajorX ? lastA : lastB, y1 = kMajorX ? lastB : lastA;
  return Box{static_cast<int>(std::min(x0, x1)), static_cast<int>(std::min(y0, y1)),
             static_cast<int>(std::max(x0, x1)), static_cast<int>(std::max(y0, y1))};
}

}  // namespace

Box Line(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, std::uint8_t c) {
  std::int64_t dx = x2 - x1, dy = y2 - y1;
  std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  if (ady == 0) return Fill(page, std::min(x1, x2), y1, std::max(x1, x2), y1, c);
  if (adx == 0) return Fill(page, x1, std::min(y1, y2), x1, std::max(y1, y2), c);
  if (adx >= ady) return WalkLine<true>(page, x1, y1, adx, ady, sx, sy, c);
  return WalkLine<false>(page, y1, x1, ady, adx, sy, sx, c);
}

Box Fill(std::uint8_t* page, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::uint8_t c) {
  x0 = std::max<std::int64_t>(x0, 0);
  y0 = std::max<std::int64_t>(y0, 0);
  x1 = std::min<std::int64_t>(x1, kW - 1);
  y1 = std::min<std::int64_t>(y1, kH - 1);
  if (x0 > x1 || y0 > y1) return Box{};
  const std::size_t width = static_cast<std::size_t>(x1 - x0 + 1);
  if (width == static_cast<std::size_t>(kW)) {
    std::memset(page + y0 * kW, c, static_cast<std::size_t>(y1 - y0 + 1) * kW);
  } else {
    for (std::int64_t y = y0; y <= y1; ++y) std::memset(page + y * kW + x0, c, width);
  }
  return Box{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1)};
}

Box Outline(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, std::uint8_t c) {
  std::int64_t left = std::min(x1, x2), right = std::max(x1, x2);
  std::int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
  Box box = Fill(page, left, top, right, top, c);
  box.Add(Fill(page, left, bottom, right, bottom, c));
  box.Add(Fill(page, left, top, left, bottom, c));
  box.Add(Fill(page, right, top, right, bottom, c));
  return box;
}

Box FillCorners(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
                std::uint8_t c) {
  return Fill(page, std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) - 1, std::max(y1, y2) - 1, c);
}

namespace {

// floor(sqrt(v)) for v >= 0.
std::int64_t ISqrt(std::int64_t v) {
  auto s = static_cast<std::int64_t>(std::sqrt(static_cast<long double>(v)));
  while (s > 0 && static_cast<__int128>(s) * s > v) --s;
  while (static_cast<__int128>(s + 1) * (s + 1) <= v) ++s;
  return s;
}

}  // namespace

Box Circle(std::uint8_t* page, std::int64_t cx, std::int64_t cy, std::int64_t r, std::uint8_t c) {
  Box box;
  if (r <= 0) return box;
  const __int128 limit = static_cast<__int128>(r) * r + r;
  // Half-width of the disc in row dy, -1 outside it.
  auto halfWidth = [&](std::int64_t dy) -> std::int64_t {
    __int128 rest = limit - static_cast<__int128>(dy) * dy;
    return rest < 0 ? -1 : ISqrt(static_cast<std::int64_t>(rest));
  };
  // Only the page rows that the disc reaches are visited.
  std::int64_t yFirst = std::max<std::int64_t>(0, cy - r);
  std::int64_t yLast = std::min<std::int64_t>(kH - 1, cy + r);
  for (std::int64_t y = yFirst; y <= yLast; ++y) {
    std::int64_t dy = y - cy;
    std::int64_t h = halfWidth(dy);
    if (h < 0) continue;
    // Pixels whose upper or lower neighbour lies outside the disc, and the
    // two ends of the row.
    std::int64_t inner = std::min(h, std::min(halfWidth(dy - 1), halfWidth(dy + 1)) + 1);
    box.Add(Fill(page, cx + inner, y, cx + h, y, c));
    box.Add(Fill(page, cx - h, y, cx - inner, y, c));
  }
  return box;
}

}  // namespace qmt::raster
