// Glyphs from the build's table.
#include <string>

#include "device/glyph_table.h"
#include "device/glyphs.h"
#include "support/encoding.h"

namespace qmt {
namespace {

int HeightNumber(int cellHeight) {
  for (int i = 0; i < glyph_table::kHeightCount; ++i)
    if (glyph_table::kHeights[i] == cellHeight) return i;
  return -1;
}

std::uint32_t Read(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

class TableGlyphs final : public GlyphSource {
 public:
  void Prepare(int cellHeight) override {
    if (HeightNumber(cellHeight) < 0)
      throw FontUnavailable("no glyphs for cells " + std::to_string(cellHeight) + " pixels high");
  }

  Glyph Rasterize(int cellHeight, Cp932Char c) override {
    const int height = HeightNumber(cellHeight);
    Glyph glyph;
    if (height < 0) return glyph;
    const auto lead = static_cast<std::uint8_t>(c.code >> 8);
    // A pair after a byte that is no lead byte has no slot; like any code
    // the code page leaves undefined it shows the default character, as
    // the lone lead byte 0x81 with 0 after it does.
    const int slot = c.code < 256        ? c.code
                     : IsLeadByte(lead) ? 256 + glyph_table::LeadIndex(lead) * 256 + (c.code & 0xFF)
                                        : 256 + glyph_table::LeadIndex(0x81) * 256;
    const std::uint32_t number = Read(glyph_table::kIndex + (static_cast<std::size_t>(height) * glyph_table::kSlots + slot) * 2, 2);
    const unsigned char* r = glyph_table::kRecords + Read(glyph_table::kOffsets + number * 4, 4);
    glyph.left = static_cast<std::int8_t>(r[0]);
    glyph.top = static_cast<std::int8_t>(r[1]);
    glyph.width = r[2];
    glyph.rows = r[3];
    glyph.advance = r[4];
    glyph.stride = (glyph.width + 7) / 8 * 8;
    glyph.ink.assign(static_cast<std::size_t>(glyph.stride) * glyph.rows, 0);
    const int rowBytes = (glyph.width + 7) / 8;
    const unsigned char* bits = r + 5;
    for (int y = 0; y < glyph.rows; ++y)
      for (int x = 0; x < glyph.width; ++x)
        glyph.ink[static_cast<std::size_t>(y) * glyph.stride + x] = (bits[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    return glyph;
  }
};

}  // namespace

std::unique_ptr<GlyphSource> MakeTableGlyphs() { return std::make_unique<TableGlyphs>(); }

}  // namespace qmt
