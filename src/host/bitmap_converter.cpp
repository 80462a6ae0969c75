#include "host/bitmap_converter.h"

#include <stdexcept>

namespace qmt {

MonoBitmap::MonoBitmap(int w, int h) : width(w), height(h), stride((w + 7) / 8) {
  if (w < 0 || h < 0) throw std::invalid_argument("MonoBitmap: negative size");
  bits.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), 0);
}

bool MonoBitmap::Pixel(int x, int y) const {
  return (bits[static_cast<std::size_t>(y) * stride + x / 8] >> (7 - x % 8)) & 1;
}

void MonoBitmap::SetPixel(int x, int y, bool white) {
  std::uint8_t& b = bits[static_cast<std::size_t>(y) * stride + x / 8];
  const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (x % 8));
  b = white ? (b | mask) : (b & ~mask);
}

std::string CutPatternBlock(const MonoBitmap& bitmap, int bx, int by) {
  if (bx < 0 || by < 0 || 16 * bx >= bitmap.width || 16 * by >= bitmap.height) return {};
  std::string out;
  out.reserve(32);
  const bool right_half = 16 * bx + 8 < bitmap.width;
  for (int r = 0; r < 16; ++r) {
    const int y = 16 * by + r;
    if (y >= bitmap.height) {
      out.append(2, '\0');
      continue;
    }
    const std::size_t row = static_cast<std::size_t>(y) * bitmap.stride;
    out.push_back(static_cast<char>(bitmap.bits[row + 2 * bx]));
    // A stride can end on the first byte of the last block (widths 1-8 past a
    // multiple of 16); the missing byte reads as 0.
    const std::size_t second = row + 2 * bx + 1;
    out.push_back(right_half && 2 * bx + 1 < bitmap.stride ? static_cast<char>(bitmap.bits[second])
                                                           : '\0');
  }
  return out;
}

std::string EscapeEveryByte(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char b : bytes) {
    out.push_back('%');
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

void ConvertBitmap(const MonoBitmap& bitmap, ConverterEmitter& emitter) {
  if (bitmap.width <= 0 || bitmap.height <= 0) return;
  const int columns = (bitmap.width - 1) / 16 + 1;
  const int rows = (bitmap.height - 1) / 16 + 1;
  for (int r = 0; r < rows; ++r) {
    if (r > 0) emitter.EmitCommand("PR-" + std::to_string(columns * 16) + ",16,0");
    for (int c = 0; c < columns; ++c) {
      const std::string block = CutPatternBlock(bitmap, c, r);
      if (block.empty()) continue;
      emitter.EmitGlyph(EscapeEveryByte(block));
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
