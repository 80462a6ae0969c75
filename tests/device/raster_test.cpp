// The rasterizer's clipping against a plain walk of every step of the line.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "device/raster.h"

namespace qmt {
namespace {

// Every pixel within half a pixel of the exact line along the minor axis, at
// each step of the major axis, kept when on the page.  Nothing in it depends
// on which end comes first: the reference for both the clipping and the
// symmetry of the rasterizer's lines.
std::vector<std::uint8_t> ReferenceLine(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
  std::vector<std::uint8_t> page(kPageBytes, 0);
  std::int64_t dx = x2 - x1, dy = y2 - y1;
  std::int64_t adx = std::abs(dx), ady = std::abs(dy);
  std::int64_t major = std::max(adx, ady), minor = std::min(adx, ady);
  auto set = [&](std::int64_t i, std::int64_t m) {
    std::int64_t x = adx >= ady ? x1 + (dx < 0 ? -i : i) : x1 + (dx < 0 ? -m : m);
    std::int64_t y = adx >= ady ? y1 + (dy < 0 ? -m : m) : y1 + (dy < 0 ? -i : i);
    if (x >= 0 && x < kPageWidth && y >= 0 && y < kPageHeight) page[y * kPageWidth + x] = 1;
  };
  for (std::int64_t i = 0; i <= major; ++i) {
    // |m - i * minor / major| <= 1/2 holds for at most two neighbours.
    const std::int64_t near = major == 0 ? 0 : i * minor / major;
    for (std::int64_t m = near - 1; m <= near + 1; ++m) {
      if (major == 0 ? m == 0 : std::abs(2 * m * major - 2 * i * minor) <= major) set(i, m);
    }
  }
  return page;
}

TEST(Raster, ClippedLinesMatchTheFullWalk) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> coord(-1500, 2100);
  std::vector<std::uint8_t> page(kPageBytes);
  for (int n = 0; n < 400; ++n) {
    std::int64_t x1 = coord(random), y1 = coord(random), x2 = coord(random), y2 = coord(random);
    if (n % 4 == 0) y2 = y1 + (x2 - x1);  // exact diagonals
    if (n % 4 == 1) y2 = y1 + (x2 - x1) / 2;  // ties at every other step
    std::fill(page.begin(), page.end(), 0);
    raster::Box box = raster::Line(page.data(), x1, y1, x2, y2, 1);
    ASSERT_EQ(page, ReferenceLine(x1, y1, x2, y2)) << x1 << "," << y1 << " -> " << x2 << "," << y2;
    // Erased from the other end, the line leaves the page clean.
    std::vector<std::uint8_t> erased = page;
    raster::Line(erased.data(), x2, y2, x1, y1, 0);
    ASSERT_EQ(std::count(erased.begin(), erased.end(), 1), 0) << x2 << "," << y2 << " -> " << x1 << "," << y1;
    // The box is exactly the span of the pixels set.
    int minX = 640, minY = 480, maxX = -1, maxY = -1;
    for (int i = 0; i < kPageBytes; ++i) {
      if (page[i] == 0) continue;
      minX = std::min(minX, i % 640);
      maxX = std::max(maxX, i % 640);
      minY = std::min(minY, i / 640);
      maxY = std::max(maxY, i / 640);
    }
    if (maxX < 0) {
      EXPECT_TRUE(box.Empty());
    } else {
      EXPECT_EQ((std::vector<int>{box.x0, box.y0, box.x1, box.y1}), (std::vector<int>{minX, minY, maxX, maxY}));
    }
  }
}

TEST(Raster, FillSetsExactlyItsSpanAtEveryWidthAndAlignment) {
  std::vector<std::uint8_t> page(kPageBytes, 0);
  std::vector<int> widths;
  for (int width = 1; width <= 70; ++width) widths.push_back(width);
  for (int width : {95, 96, 97, 127, 128, 129, 255, 256, 257, 600, 639}) widths.push_back(width);
  // Two rows, at every alignment a 32-byte store can meet.
  for (int x0 = 0; x0 < 40; ++x0) {
    for (int width : widths) {
      if (x0 + width > 640) continue;
      std::fill(page.begin(), page.begin() + 4 * 640, 0);
      raster::Fill(page.data(), x0, 1, x0 + width - 1, 2, 7);
      for (int x = 0; x < 640; ++x) {
        const int inside = (x >= x0 && x < x0 + width) ? 7 : 0;
        ASSERT_EQ(page[640 + x], inside) << x0 << " " << width << " " << x;
        ASSERT_EQ(page[2 * 640 + x], inside) << x0 << " " << width << " " << x;
        ASSERT_EQ(page[x], 0);
        ASSERT_EQ(page[3 * 640 + x], 0);
      }
    }
  }
}

TEST(Raster, FarOffLinesCostNothingAndDrawNothing) {
  // Half lengths on both sides of 2^29, where the set-up changes from 64 to
  // 128 bits, and the largest a number on a command line can be.
  for (const std::int64_t big : {std::int64_t{(1 << 29) - 1}, std::int64_t{1 << 29}, std::int64_t{2147483647}}) {
    SCOPED_TRACE(big);
    std::vector<std::uint8_t> page(kPageBytes, 0);
    EXPECT_TRUE(raster::Line(page.data(), -big, -big, big, -big + 1, 1).Empty());
    // Through the page from far away on both sides: one pixel per column, and
    // both rows at x = 0, where the line is halfway between them.
    raster::Box box = raster::Line(page.data(), -big, 100, big, 100 + 1, 1);
    EXPECT_EQ(box.x0, 0);
    EXPECT_EQ(box.x1, 639);
    EXPECT_EQ(std::count(page.begin(), page.end(), 1), 641);
    EXPECT_EQ(page[100 * 640], 1);
    EXPECT_EQ(page[101 * 640], 1);
    EXPECT_EQ(page[101 * 640 + 639], 1);
    // The diagonal through the page's corner.
    std::fill(page.begin(), page.end(), 0);
    box = raster::Line(page.data(), -big, -big, big, big, 2);
    EXPECT_EQ((std::vector<int>{box.x0, box.y0, box.x1, box.y1}), (std::vector<int>{0, 0, 479, 479}));
    EXPECT_EQ(std::count(page.begin(), page.end(), 2), 480);
    for (int i = 0; i < 480; ++i) ASSERT_EQ(page[i * 640 + i], 2) << i;
  }
}

}  // namespace
}  // namespace qmt
