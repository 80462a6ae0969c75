// One-bit patterns and text boxes put onto a video page.
//
// A pattern is s x s pixels (16 for GI, 32 for DI) sent as raw bytes: rows
// from the top, s / 8 bytes a row, the most significant bit leftmost, 1 = ink.
// Ink takes the colour and everything else stays as it was.  A text box
// (a TextMask from the glyph engine) is coloured by the reverse and overlay
// flags:
//
//   reverse overlay | glyph pixels | rest of the box
//      0       0    | colour       | black
//      0       1    | colour       | unchanged
//      1       0    | black        | colour
//      1       1    | unchanged    | colour
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/glyphs.h"

namespace qmt {

// The part of a page that a drawing changed: inclusive corners, already
// clipped to the page.  Empty when nothing of it lies on the page.
struct ChangedArea {
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
  bool Empty() const { return x1 < x0 || y1 < y0; }
};

// Puts an s x s pattern (s * s / 8 bytes at `bits`) at (x, y) of a 640 x 480
// page, clipped to the page.  Returns the clipped pattern box.
ChangedArea DrawPattern(std::uint8_t* page, int x, int y, int size, const std::uint8_t* bits,
                        std::uint8_t colour);

// Puts a text box at (x, y) of a 640 x 480 page by the table above, clipped to
// the page.  Returns the clipped box.
ChangedArea DrawTextBox(std::uint8_t* page, int x, int y, const TextMask& mask, std::uint8_t colour, bool reverse,
                        bool overlay);

// A one-bit bitmap as stored: rows from the top, `stride` bytes each (at least
// (width + 7) / 8), the leftmost pixel in the most significant bit.
struct MonoBitmap {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<std::uint8_t> bits;  // height * stride bytes

  // A cleared bitmap with rows padded to 32 bits, as bitmap files store them.
  static MonoBitmap Blank(int width, int height);
  void Set(int x, int y, bool on);
  bool Get(int x, int y) const;
};

// The 32 bytes of GI data for block (bx, by) of the bitmap, the 16 x 16
// pixels whose top-left pixel is (16 * bx, 16 * by): two bytes of each stored
// row, rows beyond the bitmap's height as two zero bytes.  Pixels right of the
// bitmap's width are 0 whatever the row's padding holds.  Empty when the
// block's top-left pixel lies outside the bitmap (or bx, by is negative).
std::string PatternBlock(const MonoBitmap& bitmap, int bx, int by);

}  // namespace qmt
