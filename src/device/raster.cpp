#include "device/raster.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace qmt::raster {
namespace {

constexpr std::int64_t kW = kPageWidth;
constexpr std::int64_t kH = kPageHeight;

// Fills n bytes.  Rectangles fill many short rows, where the call into
// memset costs more than the stores; overlapping unaligned stores at both
// ends cover any length without a byte loop.
inline void FillRow(std::uint8_t* p, std::size_t n, std::uint8_t c) {
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i v = _mm_set1_epi8(static_cast<char>(c));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + n - 16), v);
    auto* q = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(p) + 16) & ~std::uintptr_t{15});
    for (std::uint8_t* end = p + n - 16; q < end; q += 16) _mm_store_si128(reinterpret_cast<__m128i*>(q), v);
    return;
  }
  const std::uint64_t v8 = 0x0101010101010101ull * c;
  if (n >= 8) {
    std::memcpy(p, &v8, 8);
    std::memcpy(p + n - 8, &v8, 8);
  } else if (n >= 4) {
    std::memcpy(p, &v8, 4);
    std::memcpy(p + n - 4, &v8, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) p[i] = c;
  }
#else
  std::memset(p, c, n);
#endif
}

#if defined(__x86_64__) && defined(__GNUC__)
// Rows of 32 bytes or more with 32-byte stores, where the processor has
// them: twice the bytes per store of the loop above.
[[gnu::target("avx2")]] void FillRowsWide(std::uint8_t* p, std::size_t width, std::int64_t rows, std::uint8_t c) {
  const __m256i v = _mm256_set1_epi8(static_cast<char>(c));
  for (std::int64_t r = 0; r < rows; ++r, p += kW) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + width - 32), v);
    auto* q = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(p) + 32) & ~std::uintptr_t{31});
    for (std::uint8_t* end = p + width - 32; q < end; q += 32) _mm256_store_si256(reinterpret_cast<__m256i*>(q), v);
  }
}
const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

// floor(a / b) for b > 0.
template <typename Int>
Int FloorDiv(Int a, Int b) {
  Int q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

// ceil(a / b) for b > 0.
template <typename Int>
Int CeilDiv(Int a, Int b) { return -FloorDiv(-a, b); }

// A line walked along its major axis.  Step i (0..major) sits at
// major0 + i * majorStep and minor0 + m(i) * minorStep, where
// m(i) = floor((2 * i * minor + major) / (2 * major)): the minor offset
// rounded to the nearest pixel.  The steps that land on the page are found
// first, so the walk itself checks nothing and its work is at most one page
// side.  minor > 0 and major >= minor.
//
// The products 2 * major * minor and the like need more than 64 bits for
// lines longer than 2^31 pixels; `Wide` is an integer type wide enough for
// them (WalkLine below picks it), and the walk itself is in 64 bits.
template <bool kMajorX, typename Wide>
Box WalkLineIn(std::uint8_t* page, std::int64_t major0, std::int64_t minor0, std::int64_t major, std::int64_t minor,
             int majorStep, int minorStep, std::uint8_t c) {
  const std::int64_t majorLimit = kMajorX ? kW : kH;
  const std::int64_t minorLimit = kMajorX ? kH : kW;
  // Steps whose major coordinate is on the page.
  std::int64_t lo = majorStep > 0 ? -major0 : major0 - (majorLimit - 1);
  std::int64_t hi = majorStep > 0 ? majorLimit - 1 - major0 : major0;
  // Minor offsets whose coordinate is on the page, and the steps they take.
  std::int64_t mLo = minorStep > 0 ? -minor0 : minor0 - (minorLimit - 1);
  std::int64_t mHi = minorStep > 0 ? minorLimit - 1 - minor0 : minor0;
  mLo = std::max<std::int64_t>(mLo, 0);
  mHi = std::min<std::int64_t>(mHi, minor);
  if (mLo > mHi) return Box{};
  const Wide twoMajor = 2 * static_cast<Wide>(major);
  const Wide twoMinor = 2 * static_cast<Wide>(minor);
  Wide iLo = mLo == 0 ? 0 : CeilDiv<Wide>(twoMajor * mLo - major, twoMinor);
  Wide iHi = CeilDiv<Wide>(twoMajor * (mHi + 1) - major, twoMinor) - 1;
  lo = static_cast<std::int64_t>(std::max<Wide>({lo, iLo, 0}));
  hi = static_cast<std::int64_t>(std::min<Wide>({hi, iHi, major}));
  if (lo > hi) return Box{};

  auto at = [&](std::int64_t i, std::int64_t& x, std::int64_t& y) {
    std::int64_t m = static_cast<std::int64_t>(FloorDiv<Wide>(twoMinor * i + major, twoMajor));
    std::int64_t a = major0 + i * majorStep, b = minor0 + m * minorStep;
    x = kMajorX ? a : b;
    y = kMajorX ? b : a;
  };
  std::int64_t x0, y0, x1, y1;
  at(lo, x0, y0);
  at(hi, x1, y1);

  const Wide start = twoMinor * lo + major;
  std::int64_t rem = static_cast<std::int64_t>(start - FloorDiv<Wide>(start, twoMajor) * twoMajor);
  const std::int64_t twoMajor64 = 2 * major, twoMinor64 = 2 * minor;
  const std::ptrdiff_t majorBytes = kMajorX ? majorStep : majorStep * kW;
  const std::ptrdiff_t minorBytes = kMajorX ? minorStep * kW : minorStep;
  std::ptrdiff_t offset = y0 * kW + x0;
  // err < 0 always; the minor coordinate moves when it reaches 0.  Written
  // so that the step is a conditional move, not a branch (the moves follow
  // no pattern a processor could predict); in WebAssembly with a mask (all
  // ones where it moves), which runs faster there than its select.
  std::int64_t err = rem - twoMajor64;
  for (std::int64_t n = hi - lo; n >= 0; --n) {
    page[offset] = c;
    err += twoMinor64;
#if defined(__wasm__)
    const std::int64_t step = ~(err >> 63);
    offset += majorBytes + (minorBytes & step);
    err -= twoMajor64 & step;
#else
    const bool step = err >= 0;
    offset += step ? majorBytes + minorBytes : majorBytes;
    err = step ? err - twoMajor64 : err;
#endif
  }
  return Box{static_cast<int>(std::min(x0, x1)), static_cast<int>(std::min(y0, y1)),
             static_cast<int>(std::max(x0, x1)), static_cast<int>(std::max(y0, y1))};
}

// Lines up to 2^30 pixels long (every line of a real page) set up in 64
// bits: 128-bit division is a slow library call, in WebAssembly above all.
template <bool kMajorX>
Box WalkLine(std::uint8_t* page, std::int64_t major0, std::int64_t minor0, std::int64_t major, std::int64_t minor,
             int majorStep, int minorStep, std::uint8_t c) {
  if (major < (std::int64_t{1} << 30)) {
    return WalkLineIn<kMajorX, std::int64_t>(page, major0, minor0, major, minor, majorStep, minorStep, c);
  }
  return WalkLineIn<kMajorX, __int128>(page, major0, minor0, major, minor, majorStep, minorStep, c);
}

// The pixels where the walk from the other end lands beside this one.  At a
// step whose exact minor offset lies halfway between two pixels, the walk
// above rounds up and the walk from (x2, y2) rounds the other way; setting
// both makes the line the same whichever end comes first.  Halfway steps
// exist only when major / gcd is even: they are i = h + k * p with
// p = major / gcd and h = p / 2, and the other pixel sits at minor offset
// k * q + (q - 1) / 2 with q = minor / gcd.  Only the steps whose major
// coordinate is on the page are visited.
template <bool kMajorX>
Box HalfwayPixels(std::uint8_t* page, std::int64_t major0, std::int64_t minor0, std::int64_t major,
                  std::int64_t minor, int majorStep, int minorStep, std::uint8_t c) {
  // p is even exactly when major has more factors of 2 than minor: most
  // lines have no halfway steps, known without a gcd.
  if (std::countr_zero(static_cast<std::uint64_t>(major)) <= std::countr_zero(static_cast<std::uint64_t>(minor))) {
    return Box{};
  }
  const std::int64_t g = std::gcd(major, minor);
  const std::int64_t p = major / g, q = minor / g;
  if (p % 2 != 0) return Box{};
  const std::int64_t h = p / 2;
  const std::int64_t majorLimit = kMajorX ? kW : kH;
  const std::int64_t minorLimit = kMajorX ? kH : kW;
  std::int64_t lo = majorStep > 0 ? -major0 : major0 - (majorLimit - 1);
  std::int64_t hi = majorStep > 0 ? majorLimit - 1 - major0 : major0;
  lo = std::max<std::int64_t>(lo, 0);
  hi = std::min<std::int64_t>(hi, major);
  if (lo > hi) return Box{};
  const std::int64_t kLo = std::max<std::int64_t>(0, CeilDiv(lo - h, p));
  const std::int64_t kHi = std::min<std::int64_t>(g - 1, FloorDiv(hi - h, p));
  Box box;
  for (std::int64_t k = kLo; k <= kHi; ++k) {
    const std::int64_t a = major0 + (h + k * p) * majorStep;
    const std::int64_t b = minor0 + (k * q + (q - 1) / 2) * minorStep;
    if (b < 0 || b >= minorLimit) continue;
    const std::int64_t x = kMajorX ? a : b, y = kMajorX ? b : a;
    page[y * kW + x] = c;
    box.Add(Box{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x), static_cast<int>(y)});
  }
  return box;
}

}  // namespace

Box Line(std::uint8_t* page, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, std::uint8_t c) {
  std::int64_t dx = x2 - x1, dy = y2 - y1;
  std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  if (ady == 0) return Fill(page, std::min(x1, x2), y1, std::max(x1, x2), y1, c);
  if (adx == 0) return Fill(page, x1, std::min(y1, y2), x1, std::max(y1, y2), c);
  Box box;
  if (adx >= ady) {
    box = WalkLine<true>(page, x1, y1, adx, ady, sx, sy, c);
    box.Add(HalfwayPixels<true>(page, x1, y1, adx, ady, sx, sy, c));
  } else {
    box = WalkLine<false>(page, y1, x1, ady, adx, sy, sx, c);
    box.Add(HalfwayPixels<false>(page, y1, x1, ady, adx, sy, sx, c));
  }
  return box;
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
#if defined(__x86_64__) && defined(__GNUC__)
    if (width >= 32 && kHasAvx2) {
      FillRowsWide(page + y0 * kW + x0, width, y1 - y0 + 1, c);
      return Box{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1)};
    }
#endif
    for (std::int64_t y = y0; y <= y1; ++y) FillRow(page + y * kW + x0, width, c);
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
  auto s = static_cast<std::int64_t>(std::sqrt(static_cast<double>(v)));
  while (s > 0 && static_cast<__int128>(s) * s > v) --s;
  while (static_cast<__int128>(s + 1) * (s + 1) <= v) ++s;
  return s;
}

}  // namespace

Box Circle(std::uint8_t* page, std::int64_t cx, std::int64_t cy, std::int64_t r, std::uint8_t c) {
  Box box;
  if (r <= 0) return box;
  // Only the page rows that the disc reaches are visited.
  const std::int64_t yFirst = std::max<std::int64_t>(0, cy - r);
  const std::int64_t yLast = std::min<std::int64_t>(kH - 1, cy + r);
  if (yFirst > yLast) return box;
  // Half-width of the disc in each row from yFirst - 1 to yLast + 1; -1
  // outside it.
  const __int128 limit = static_cast<__int128>(r) * r + r;
  std::int64_t half[kPageHeight + 2];
  for (std::int64_t y = yFirst - 1; y <= yLast + 1; ++y) {
    std::int64_t dy = y - cy;
    __int128 rest = limit - static_cast<__int128>(dy) * dy;
    half[y - yFirst + 1] = rest < 0 ? -1 : ISqrt(static_cast<std::int64_t>(rest));
  }
  for (std::int64_t y = yFirst; y <= yLast; ++y) {
    const std::int64_t* h = &half[y - yFirst + 1];
    if (h[0] < 0) continue;
    // Pixels whose upper or lower neighbour lies outside the disc, and the
    // two ends of the row.
    std::int64_t inner = std::min(h[0], std::min(h[-1], h[1]) + 1);
    box.Add(Fill(page, cx + inner, y, cx + h[0], y, c));
    box.Add(Fill(page, cx - h[0], y, cx - inner, y, c));
  }
  return box;
}

}  // namespace qmt::raster
