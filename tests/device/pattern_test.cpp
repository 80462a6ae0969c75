// Patterns and text boxes on a page, and cutting a bitmap into GI blocks.
#include <gtest/gtest.h>

#include <vector>

#include "device/colour.h"
#include "device/pattern.h"

namespace qmt {
namespace {

std::vector<std::uint8_t> Page(std::uint8_t fill) { return std::vector<std::uint8_t>(kPageBytes, fill); }
std::uint8_t At(const std::vector<std::uint8_t>& page, int x, int y) { return page[y * kPageWidth + x]; }

TEST(DrawPattern, BitOrderRowsAndClipping) {
  // Row 0: first byte 0x80 (leftmost pixel), second byte 0x01 (pixel 15);
  // row 15: 0xFF 0xFF.  Everything else empty.
  std::uint8_t bits[32] = {};
  bits[0] = 0x80;
  bits[1] = 0x01;
  bits[30] = bits[31] = 0xFF;
  auto page = Page(0x44);
  ChangedArea area = DrawPattern(page.data(), 100, 50, 16, bits, 0xE0);
  EXPECT_EQ(At(page, 100, 50), 0xE0);
  EXPECT_EQ(At(page, 115, 50), 0xE0);
  EXPECT_EQ(At(page, 101, 50), 0x44) << "0 bits leave the page alone";
  for (int x = 100; x < 116; ++x) EXPECT_EQ(At(page, x, 65), 0xE0);
  EXPECT_EQ(At(page, 116, 65), 0x44);
  EXPECT_EQ(At(page, 100, 66), 0x44);
  EXPECT_EQ(area.x0, 100);
  EXPECT_EQ(area.y1, 65);

  // Half off the bottom-right corner and fully off the page.
  std::uint8_t full[128];
  std::fill(std::begin(full), std::end(full), 0xFF);
  area = DrawPattern(page.data(), 630, 470, 32, full, 0x03);
  EXPECT_EQ(At(page, 639, 479), 0x03);
  EXPECT_EQ(At(page, 629, 479), 0x44);
  EXPECT_EQ(area.x1, 639);
  EXPECT_EQ(area.y1, 479);
  EXPECT_TRUE(DrawPattern(page.data(), 640, 0, 32, full, 0x03).Empty());
  EXPECT_TRUE(DrawPattern(page.data(), -32, 0, 32, full, 0x03).Empty());
  area = DrawPattern(page.data(), -8, -8, 16, full, 0x1C);
  EXPECT_EQ(At(page, 7, 7), 0x1C);
  EXPECT_EQ(At(page, 8, 8), 0x44);
  EXPECT_EQ(area.x0, 0);
  EXPECT_EQ(area.x1, 7);
}

// The four flag combinations over a 2 x 1 box: one glyph pixel, one empty.
TEST(DrawTextBox, ReverseAndOverlayTable) {
  const TextMask mask{2, 1, {1, 0}};
  struct Row {
    bool reverse, overlay;
    std::uint8_t glyph, rest;
  };
  constexpr std::uint8_t kOld = 0x55, kColour = 0x1F;
  for (const Row& r : {Row{false, false, kColour, 0x00}, Row{false, true, kColour, kOld}, Row{true, false, 0x00, kColour},
                       Row{true, true, kOld, kColour}}) {
    auto page = Page(kOld);
    DrawTextBox(page.data(), 10, 20, mask, kColour, r.reverse, r.overlay);
    EXPECT_EQ(At(page, 10, 20), r.glyph) << "reverse " << r.reverse << " overlay " << r.overlay;
    EXPECT_EQ(At(page, 11, 20), r.rest) << "reverse " << r.reverse << " overlay " << r.overlay;
    EXPECT_EQ(At(page, 12, 20), kOld);
    EXPECT_EQ(At(page, 9, 20), kOld);
  }
}

TEST(DrawTextBox, ClipsAtEveryEdge) {
  const TextMask mask{4, 2, std::vector<std::uint8_t>(8, 0)};
  auto page = Page(0x55);
  ChangedArea area = DrawTextBox(page.data(), 638, 479, mask, 0xFF, false, false);
  EXPECT_EQ(At(page, 639, 479), 0x00);
  EXPECT_EQ(At(page, 637, 479), 0x55);
  EXPECT_EQ(area.x0, 638);
  EXPECT_EQ(area.x1, 639);
  EXPECT_EQ(area.y0, 479);
  EXPECT_EQ(area.y1, 479);
  area = DrawTextBox(page.data(), -3, -1, mask, 0xFF, false, false);
  EXPECT_EQ(At(page, 0, 0), 0x00);
  EXPECT_EQ(At(page, 1, 0), 0x55);
  EXPECT_EQ(area.x1, 0);
  EXPECT_TRUE(DrawTextBox(page.data(), 2147483600, 0, mask, 0xFF, false, false).Empty());
}

// A 20 x 18 bitmap: two blocks across (the second holds pixels 16-19 only),
// two down (the second holds rows 16-17 only).
TEST(PatternBlock, BitmapWhoseWidthIsNotAMultipleOf16) {
  MonoBitmap bitmap = MonoBitmap::Blank(20, 18);
  ASSERT_EQ(bitmap.stride, 4);
  bitmap.Set(0, 0, true);
  bitmap.Set(15, 0, true);
  bitmap.Set(16, 1, true);
  bitmap.Set(19, 1, true);
  bitmap.Set(17, 17, true);
  // Padding bits of every row, right of the width, are set: they are not
  // part of the picture.
  for (int y = 0; y < 18; ++y) {
    bitmap.bits[y * 4 + 2] |= 0x0F;
    bitmap.bits[y * 4 + 3] = 0xFF;
  }

  std::string b00 = PatternBlock(bitmap, 0, 0);
  ASSERT_EQ(b00.size(), 32u);
  EXPECT_EQ(static_cast<std::uint8_t>(b00[0]), 0x80);
  EXPECT_EQ(static_cast<std::uint8_t>(b00[1]), 0x01);
  EXPECT_EQ(b00.substr(2), std::string(30, '\0'));

  std::string b10 = PatternBlock(bitmap, 1, 0);
  ASSERT_EQ(b10.size(), 32u);
  EXPECT_EQ(static_cast<std::uint8_t>(b10[2]), 0x90) << "pixels 16 and 19 of row 1";
  for (int r = 0; r < 16; ++r) EXPECT_EQ(b10[2 * r + 1], '\0') << "second byte lies beyond the width, row " << r;
  EXPECT_EQ(b10[0], '\0');

  std::string b11 = PatternBlock(bitmap, 1, 1);
  ASSERT_EQ(b11.size(), 32u);
  EXPECT_EQ(static_cast<std::uint8_t>(b11[2]), 0x40) << "pixel 17 of row 17";
  EXPECT_EQ(b11.substr(4), std::string(28, '\0')) << "rows beyond the height are zero";

  EXPECT_TRUE(PatternBlock(bitmap, 2, 0).empty());
  EXPECT_TRUE(PatternBlock(bitmap, 0, 2).empty());
  EXPECT_TRUE(PatternBlock(bitmap, -1, 0).empty());
  EXPECT_TRUE(PatternBlock(MonoBitmap::Blank(0, 0), 0, 0).empty());
}

}  // namespace
}  // namespace qmt
