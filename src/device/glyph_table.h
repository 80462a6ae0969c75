// The build's glyph table (tools/glyph_table.cpp writes it from the fonts):
// for each cell height, a glyph number per character slot, and the glyphs,
// each stored once however many characters share it.
//
// Character slots: single bytes 0-255 at their value; a lead byte L
// (IsLeadByte) and any byte T after it at 256 + LeadIndex(L) * 256 + T.
// A glyph record: left, top (signed bytes), width, rows, advance, then its
// rows of (width + 7) / 8 bytes, leftmost pixel in the top bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qmt::glyph_table {

inline constexpr int kHeights[] = {8, 16, 32};
inline constexpr int kHeightCount = 3;
inline constexpr int kLeadBytes = 60;  // 0x81-0x9F, 0xE0-0xFC
inline constexpr int kSlots = 256 + kLeadBytes * 256;

constexpr int LeadIndex(std::uint8_t lead) { return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31; }

// kIndex: kHeightCount * kSlots glyph numbers, 16 bits little-endian.
// kOffsets: kGlyphCount + 1 offsets into kRecords, 32 bits little-endian.
extern const unsigned char kIndex[];
extern const unsigned char kOffsets[];
extern const unsigned char kRecords[];
extern const std::size_t kGlyphCount;

}  // namespace qmt::glyph_table
