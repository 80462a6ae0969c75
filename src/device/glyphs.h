// The device's characters: the glyphs of the fonts that stand in for
// "ＭＳ ゴシック" (fonts/freetype_glyphs.h), taken from a table the build makes
// from those fonts, so that every build draws the same pixels and needs no
// font at run time.
//
// The device draws a whole text run with one text-output call into a box of
// n cells (n = characters after decoding), so the font's own advances place
// the glyphs: a half-width glyph takes half the width of a full-width one, and
// whatever runs past the right edge of the box is cut off.  GlyphEngine does
// exactly that into a TextMask; the text commands then colour the mask.
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

// One glyph as it lands in a box: its ink rows relative to the pen position
// on the box's top edge.
struct Glyph {
  int left = 0;  // first column, from the pen position
  int top = 0;   // first row, from the top of the box
  int width = 0;
  int rows = 0;
  int stride = 0;  // width rounded up to 8, so that rows go over in words
  int advance = 0;
  std::vector<std::uint8_t> ink;  // rows * stride, 1 = ink, padding 0
};

// Where glyphs come from: the build's table, or (making and checking the
// table) the fonts themselves.
class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // Raises FontUnavailable when the source has no glyphs for the height.
  virtual void Prepare(int cellHeight) = 0;
  // The glyph of one character; Prepare(cellHeight) has succeeded.
  virtual Glyph Rasterize(int cellHeight, Cp932Char c) = 0;
};

// The glyphs of the build's table, for cells 8, 16 and 32 pixels high (the
// text commands' heights); another height raises FontUnavailable.
std::unique_ptr<GlyphSource> MakeTableGlyphs();

class GlyphEngine {
 public:
  static constexpr std::size_t kDefaultCacheLimit = 4096;

  explicit GlyphEngine(std::unique_ptr<GlyphSource> source = MakeTableGlyphs(),
                       std::size_t cacheLimit = kDefaultCacheLimit);
  ~GlyphEngine();
  GlyphEngine(const GlyphEngine&) = delete;
  GlyphEngine& operator=(const GlyphEngine&) = delete;

  // Draws the code page 932 text in one pass from (0, 0) of a box
  // `boxWidth` x `cellHeight` pixels into `out` (resized and cleared first):
  // glyphs follow each other by the font's own advances, cut at the box's
  // edges.  Raises FontUnavailable (out untouched) when the source has no
  // glyphs for that height.
  void Render(std::string_view cp932, int boxWidth, int cellHeight, TextMask& out);

  // Takes glyphs from `source` from now on; glyphs found so far are
  // dropped.
  void SetSource(std::unique_ptr<GlyphSource> source);

  // Glyphs held now; never more than the limit given at construction.
  std::size_t CachedGlyphs() const;
  // Glyphs taken from the source since construction (a cache hit takes
  // none).
  std::size_t Rasterizations() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The engine the device's text commands use, created on first use with the
// table's glyphs.
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
