// The bitmap converter: cuts a one-bit picture into 16 x 16 blocks and writes
// one GI call per block and one "PR-" move per block row, the form in which
// macros draw their pictures.  Where the text goes depends on which text
// control has the focus when each item is emitted; the window decides that,
// this file only forms the text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmt {

// A one-bit picture as the platform's black-and-white conversion stores it:
// rows top to bottom, `stride` bytes each, the leftmost pixel in the most
// significant bit.  A set bit is palette entry 1 (white).  Padding bits past
// the width are 0.
struct MonoBitmap {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<std::uint8_t> bits;

  MonoBitmap() = default;
  MonoBitmap(int w, int h);
  bool Pixel(int x, int y) const;
  void SetPixel(int x, int y, bool white);
};

// The 32 bytes of block (bx, by): 16 rows, two bytes per row.  Empty when the
// block starts at or beyond the width or the height.  Rows past the height
// are two zero bytes; the second byte of a row is 0 when the block's right
// half lies past the width.
std::string CutPatternBlock(const MonoBitmap& bitmap, int bx, int by);

// Every byte as a percent sign and two upper-case hexadecimal digits.
std::string EscapeEveryByte(const std::string& bytes);

// Receives the converter's items in order.
class ConverterEmitter {
 public:
  virtual ~ConverterEmitter() = default;
  // `data` is a block's 96 characters of escaped bytes.
  virtual void EmitGlyph(const std::string& data) = 0;
  // `command` is a device command line such as "PR-48,16,0".
  virtual void EmitCommand(const std::string& command) = 0;
};

// Runs the converter over `bitmap`.  A picture of width or height 0 emits
// nothing.
void ConvertBitmap(const MonoBitmap& bitmap, ConverterEmitter& emitter);

// Which text control held the focus when an item was emitted.
enum class ConverterTarget {
  Script,        // the test script: macro text
  MacroEditor,   // the macro editor: macro text
  CommandLines,  // the command lines: raw device lines
  Clipboard,     // none of them: collected for the clipboard
};

// The text one item becomes for a control target, CR LF included.  For the
// clipboard the item has no line end; ClipboardCollector joins them.
std::string GlyphText(ConverterTarget target, const std::string& data);
std::string CommandText(ConverterTarget target, const std::string& command);

// Collects clipboard items, CR LF between items and none after the last.
class ClipboardCollector {
 public:
  void Add(const std::string& item);
  const std::string& Text() const { return text_; }
  bool Empty() const { return text_.empty(); }

 private:
  std::string text_;
  bool any_ = false;
};

}  // namespace qmt
