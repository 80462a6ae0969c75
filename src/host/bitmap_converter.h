// The bitmap converter: cuts a one-bit picture into 16 x 16 blocks and writes
// one GI call per block and one "PR-" move per block row, the form in which
// macros draw their pictures.  Where the text goes depends on which text
// control has the focus when each item is emitted; the window decides that,
// this file only forms the text.
#pragma once

#include <string>

#include "device/pattern.h"

namespace qmt {

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
