#include "device/escape.h"

namespace qmt {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char b) {
  out += '%';
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

bool NeedsEscape(unsigned char b) {
  return b <= 0x1F || b == 0x22 || b == 0x25 || b == 0x7F || (b >= 0x80 && b <= 0xA0) || b >= 0xE0;
}

}  // namespace

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    // A '%' takes the next two characters with it, whether or not they
    // make a byte; at the very end it takes what is left.
    if (i + 2 < text.size()) {
      int hi = HexDigitValue(text[i + 1]);
      int lo = HexDigitValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) out += static_cast<char>(hi * 16 + lo);
    }
    i += 2;
  }
  return out;
}

std::string EscapeForDisplay(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (NeedsEscape(b)) {
      AppendEscaped(out, b);
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapeAll(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) AppendEscaped(out, static_cast<unsigned char>(c));
  return out;
}

}  // namespace qmt
