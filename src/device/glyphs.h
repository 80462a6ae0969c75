// The device's characters: the font that stands in for "ＭＳ ゴシック",
// rendered one-bit by FreeType into the box a text command fills.
//
// The device draws a whole text run with one text-output call into a box of
// n cells (n = characters after decoding), so the font's own advances place
// the glyphs: a half-width glyph takes half the width of a full-width one, and
// whatever runs past the right edge of the box is cut off.  GlyphEngine does
// exactly that into a TextMask; the text commands then colour the mask.
//
// Faces: for cells 16 and 32 pixels high, IPAGothic, whose advances match the
// original font's (full width = cell height, half width = half of it); for
// 8-pixel cells, where IPAGothic's outlines turn to blobs, Misaki Gothic, an
// 8-dot font with 8 x 8 full-width and 4 x 8 half-width glyphs.
//
// Not thread-safe: the device runs on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_error.h"

namespace qmt {

// No usable font for some cell height.  The message names the font and the
// Debian package that provides it.  It is a DeviceError, so a text command
// fails with it like with any other device message.
class FontUnavailable : public DeviceError {
 public:
  using DeviceError::DeviceError;
};

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

// A one-bit picture, one byte per pixel, row-major from the top left:
// 1 where a glyph put ink, 0 elsewhere.
struct TextMask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> ink;

  bool At(int x, int y) const { return ink[static_cast<std::size_t>(y) * width + x] != 0; }
};

// One character of code page 932 text: its bytes as a number (one byte, or
// lead byte * 256 + trail byte).
struct Cp932Char {
  std::uint16_t code;
};

// Splits code page 932 bytes into characters: a lead byte (IsLeadByte) and the
// byte after it form one character; a lead byte at the very end stands alone.
std::vector<Cp932Char> SplitCp932(std::string_view cp932);
// The number of characters SplitCp932 finds, without building the list.
int CountCp932Chars(std::string_view cp932);

// The Unicode character of one code page 932 character, by the code page's
// table (DecodeCp932).  A byte sequence code page 932 does not define
// becomes U+30FB (katakana middle dot), the code page's default character, so
// a bad byte still shows as one visible character.
char32_t DecodeCp932Char(Cp932Char c);

class GlyphEngine {
 public:
  static constexpr std::size_t kDefaultCacheLimit = 4096;

  explicit GlyphEngine(std::unique_ptr<FontLocator> locator = MakeFontconfigLocator(),
                       std::size_t cacheLimit = kDefaultCacheLimit);
  ~GlyphEngine();
  GlyphEngine(const GlyphEngine&) = delete;
  GlyphEngine& operator=(const GlyphEngine&) = delete;

  // Draws the code page 932 text in one pass from (0, 0) of a box
  // `boxWidth` x `cellHeight` pixels into `out` (resized and cleared first):
  // glyphs follow each other by the font's own advances, on the baseline
  // the font's ascender and descender give for that cell height, cut at the
  // box's edges.  Raises FontUnavailable (out untouched) when no font serves
  // that height.
  void Render(std::string_view cp932, int boxWidth, int cellHeight, TextMask& out);

  // Takes fonts from `locator` from now on; faces and glyphs found so far
  // are dropped.
  void SetLocator(std::unique_ptr<FontLocator> locator);

  // Glyphs held now; never more than the limit given at construction.
  std::size_t CachedGlyphs() const;
  // Glyphs rasterised since construction (a cache hit costs none).
  std::size_t Rasterizations() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The engine the device's text commands use, created on first use with the
// fontconfig locator.
GlyphEngine& SharedGlyphEngine();

// JIS text of the JIS text commands: hexadecimal digits, four per character
// (JIS X 0208 first byte j1, second byte j2), trailing digits that make no
// full group ignored.  Returns the Shift-JIS bytes of all groups in order.
// A pair that is not a hexadecimal number raises DeviceError
// "'$XY' は整数ではありません"; j1 outside 0x21-0x7E raises "JISコードの誤り".
std::string JisHexToShiftJis(std::string_view hexDigits);

// One JIS X 0208 code to its two Shift-JIS bytes (s1 * 256 + s2).  j1 must be
// 0x21-0x7E (DeviceError "JISコードの誤り"); j2 may have any value, and the
// second byte wraps modulo 256.
std::uint16_t JisToShiftJis(std::uint8_t j1, std::uint8_t j2);

}  // namespace qmt
