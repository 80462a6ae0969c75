// The fonts that stand in for the device's "ＭＳ ゴシック", rendered one-bit by
// FreeType: the source the build's glyph table is made from.  The programs
// draw from that table (glyphs.h) and need no fonts when they run.
//
// Faces: for cells 16 and 32 pixels high, IPAGothic, whose advances match the
// original font's (full width = cell height, half width = half of it); for
// 8-pixel cells, where IPAGothic's outlines turn to blobs, Misaki Gothic, an
// 8-dot font with 8 x 8 full-width and 4 x 8 half-width glyphs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/glyphs.h"

namespace qmt {

struct FontFile {
  std::string path;
  int index = 0;  // face index inside a collection
};

// Finds the font file standing in for the device's font at a cell height.
class FontLocator {
 public:
  virtual ~FontLocator();
  // Raises FontUnavailable when no usable font is installed for that height.
  virtual FontFile Locate(int cellHeight) = 0;
};

// Cell heights below this use the 8-dot face.
constexpr int kSmallFontLimit = 12;

// Asks fontconfig for the family "ＭＳ ゴシック" at the cell height, through
// the program's own alias (given in process, so no system configuration is
// needed): IPAGothic, or Misaki Gothic below kSmallFontLimit.  A match that
// is not the aliased family (fontconfig's silent fallback) counts as missing.
// With `fontDirs` empty the system's fonts are searched; otherwise only the
// fonts in those folders.
std::unique_ptr<FontLocator> MakeFontconfigLocator(std::vector<std::string> fontDirs = {});

// Glyphs rendered by FreeType from the fonts `locator` finds: each glyph's
// ink on the baseline the font's ascender and descender give for the cell
// height, advances the font's own.  A glyph FreeType cannot load is empty
// and takes no room.
std::unique_ptr<GlyphSource> MakeFreeTypeGlyphs(std::unique_ptr<FontLocator> locator = MakeFontconfigLocator());

}  // namespace qmt
