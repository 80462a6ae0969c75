// qmt_glyph_table OUT.cpp: renders every character slot of the device's text
// (device/glyph_table.h) at each cell height with FreeType from the fonts
// that stand in for the device's font, and writes the table the programs
// draw from.  Glyphs are stored exactly as FreeType rendered them; equal
// glyphs (every character the code page leaves undefined, for one) are
// stored once.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/glyph_table.h"
#include "fonts/freetype_glyphs.h"
#include "support/encoding.h"

namespace {

using namespace qmt;

// The slot's character code (see glyph_table.h).
std::uint16_t SlotCode(int slot) {
  if (slot < 256) return static_cast<std::uint16_t>(slot);
  const int pair = slot - 256;
  const int leadIndex = pair / 256;
  const int lead = leadIndex < 31 ? 0x81 + leadIndex : 0xE0 + leadIndex - 31;
  return static_cast<std::uint16_t>(lead << 8 | (pair % 256));
}

std::string Record(const Glyph& g, int height, std::uint16_t code) {
  auto fits = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
  if (!fits(g.left, -128, 127) || !fits(g.top, -128, 127) || !fits(g.width, 0, 255) || !fits(g.rows, 0, 255) ||
      !fits(g.advance, 0, 255)) {
    char what[96];
    std::snprintf(what, sizeof what, "glyph 0x%04X at height %d does not fit a record", code, height);
    throw std::runtime_error(what);
  }
  std::string r;
  r += static_cast<char>(static_cast<std::int8_t>(g.left));
  r += static_cast<char>(static_cast<std::int8_t>(g.top));
  r += static_cast<char>(g.width);
  r += static_cast<char>(g.rows);
  r += static_cast<char>(g.advance);
  const int rowBytes = (g.width + 7) / 8;
  for (int y = 0; y < g.rows; ++y)
    for (int b = 0; b < rowBytes; ++b) {
      unsigned char byte = 0;
      for (int x = b * 8; x < b * 8 + 8 && x < g.width; ++x)
        if (g.ink[static_cast<std::size_t>(y) * g.stride + x]) byte |= static_cast<unsigned char>(0x80 >> (x % 8));
      r += static_cast<char>(byte);
    }
  return r;
}

// Bytes as a string literal, in lines of source.
void WriteBytes(std::ostream& out, const char* name, const std::string& bytes) {
  out << "extern const unsigned char " << name << "[];\n";
  out << "alignas(4) const unsigned char " << name << "[] =\n\"";
  int column = 0;
  for (unsigned char c : bytes) {
    if (column >= 100) {
      out << "\"\n\"";
      column = 0;
    }
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
      out << static_cast<char>(c);
      ++column;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out << buf;
      column += 4;
    }
  }
  out << "\";\n\n";
}

void Le(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qmt_glyph_table OUT.cpp\n";
    return 2;
  }
  try {
    std::unique_ptr<GlyphSource> fonts = MakeFreeTypeGlyphs();
    std::map<std::string, std::uint32_t> numbers;
    std::string index, offsets, records;
    for (int h = 0; h < glyph_table::kHeightCount; ++h) {
      const int height = glyph_table::kHeights[h];
      fonts->Prepare(height);
      for (int slot = 0; slot < glyph_table::kSlots; ++slot) {
        const std::uint16_t code = SlotCode(slot);
        const std::string record = Record(fonts->Rasterize(height, Cp932Char{code}), height, code);
        auto [it, added] = numbers.emplace(record, static_cast<std::uint32_t>(numbers.size()));
        if (added) {
          Le(offsets, static_cast<std::uint32_t>(records.size()), 4);
          records += record;
        }
        if (it->second > 0xFFFF) throw std::runtime_error("more than 65536 different glyphs");
        Le(index, it->second, 2);
      }
    }
    Le(offsets, static_cast<std::uint32_t>(records.size()), 4);

    const std::string tmp = std::string(argv[1]) + ".tmp";
    {
      std::ofstream out(tmp, std::ios::binary);
      out << "// Written by qmt_glyph_table from IPAGothic and Misaki Gothic; do not edit.\n"
             "#include \"device/glyph_table.h\"\n\nnamespace qmt::glyph_table {\n\n";
      WriteBytes(out, "kIndex", index);
      WriteBytes(out, "kOffsets", offsets);
      WriteBytes(out, "kRecords", records);
      out << "const std::size_t kGlyphCount = " << numbers.size() << ";\n\n}  // namespace qmt::glyph_table\n";
      if (!out) throw std::runtime_error("cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), argv[1]) != 0) throw std::runtime_error(std::string("cannot write ") + argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "qmt_glyph_table: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
