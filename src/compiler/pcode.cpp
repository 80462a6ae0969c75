#include "compiler/pcode.h"

#include <cstdio>

#include "compiler/opcodes.h"
#include "support/encoding.h"

namespace qmt {
namespace {

bool NeedsEscape(std::uint8_t b) {
  return b <= 0x1F || b == 0x22 || b == 0x25 || b == 0x7F || b == 0x80 || b == 0xA0 || b >= 0xFD;
}

void AppendHex(std::string& out, std::uint8_t b) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

}  // namespace

std::string EscapeString(std::span<const std::uint8_t> image, std::size_t address) {
  std::string out;
  for (std::size_t i = address; i < image.size() && image[i] != 0; ++i) {
    std::uint8_t b = image[i];
    if (IsLeadByte(b) && i + 1 < image.size() && image[i + 1] != 0) {
      out += static_cast<char>(b);
      out += static_cast<char>(image[++i]);
    } else if (NeedsEscape(b)) {
      out += "\\x";
      AppendHex(out, b);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::string InstructionText(std::span<const std::uint8_t> image, int last, int& p) {
  if (p < 0 || p > last) return {};
  auto at = [&](long i) -> std::uint8_t {
    return i >= 0 && static_cast<std::size_t>(i) < image.size() ? image[i] : 0;
  };
  std::uint8_t op = at(p);
  int length = op == 0 ? 0 : InstructionLength(op);
  if (length == 0) {
    std::string err = "Err";
    AppendHex(err, op);
    p += 1;
    return err;
  }

  std::string line;
  line.reserve(40);
  AppendHex(line, op);
  for (int i = 1; i <= 4; ++i) {
    if (i < length) {
      line += ' ';
      AppendHex(line, at(static_cast<long>(p) + i));
    } else {
      line += "   ";
    }
  }
  line += ' ';
  const char* mnemonic = Mnemonic(op);
  if (mnemonic) {
    line += mnemonic;
  } else {
    line += static_cast<char>(op);
  }

  std::uint16_t word = static_cast<std::uint16_t>(at(p + 1) | (at(p + 2) << 8));
  if (op == static_cast<std::uint8_t>(Op::STR)) line += EscapeString(image, word);
  char tail[40];
  switch (length) {
    case 3:
      std::snprintf(tail, sizeof tail, " %d", static_cast<std::int16_t>(word));
      line += tail;
      break;
    case 4:
      std::snprintf(tail, sizeof tail, " %d stack-%d", static_cast<std::int16_t>(word), at(p + 3));
      line += tail;
      break;
    case 2:
      std::snprintf(tail, sizeof tail, " %d", at(p + 1));
      line += tail;
      break;
    default:
      break;
  }
  p += length;
  return line;
}

}  // namespace qmt
