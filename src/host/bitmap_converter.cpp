#include "host/bitmap_converter.h"

#include "device/escape.h"

namespace qmt {

void ConvertBitmap(const MonoBitmap& bitmap, ConverterEmitter& emitter) {
  if (bitmap.width <= 0 || bitmap.height <= 0) return;
  const int columns = (bitmap.width - 1) / 16 + 1;
  const int rows = (bitmap.height - 1) / 16 + 1;
  for (int r = 0; r < rows; ++r) {
    if (r > 0) emitter.EmitCommand("PR-" + std::to_string(columns * 16) + ",16,0");
    for (int c = 0; c < columns; ++c) {
      const std::string block = PatternBlock(bitmap, c, r);
      if (block.empty()) continue;
      emitter.EmitGlyph(EscapeAll(block));
    }
  }
}

std::string GlyphText(ConverterTarget target, const std::string& data) {
  switch (target) {
    case ConverterTarget::Script:
    case ConverterTarget::MacroEditor:
      return "GI(\"" + data + "\")\r\n";
    case ConverterTarget::CommandLines:
      return "GI" + data + "\r\n";
    case ConverterTarget::Clipboard:
      break;
  }
  return "GI(" + data + ")";
}

std::string CommandText(ConverterTarget target, const std::string& command) {
  switch (target) {
    case ConverterTarget::Script:
    case ConverterTarget::MacroEditor:
      return "d(\"" + command + "\")\r\n";
    case ConverterTarget::CommandLines:
      return command + "\r\n";
    case ConverterTarget::Clipboard:
      break;
  }
  return "d(" + command + ")";
}

void ClipboardCollector::Add(const std::string& item) {
  if (any_) text_ += "\r\n";
  text_ += item;
  any_ = true;
}

}  // namespace qmt
