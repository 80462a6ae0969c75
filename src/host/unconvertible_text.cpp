#include "host/unconvertible_text.h"

#include <cstdio>

#include "support/encoding.h"

namespace qmt {

std::string UnconvertibleText(std::string_view utf8, int firstLine, bool showCharacter, bool keptBytes) {
  int line = firstLine;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    const std::string_view ch = utf8.substr(i, n);
    std::string out, error;
    if (!(keptBytes ? TryUtf8ToCp932Kept(ch, out, error) : TryUtf8ToCp932(ch, out, error))) {
      if (ValidUtf8(ch) != ch) return std::to_string(line) + "行目: " + error;
      char32_t cp = n == 1 ? lead : lead & (0xFF >> (n + 1));
      for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
      char code[16];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(cp));
      return std::to_string(line) + "行目の文字 U+" + code + (showCharacter ? " (" + std::string(ch) + ")" : "") +
             " はシフトJISで表せません";
    }
    if (ch == "\n") ++line;
    i += n;
  }
  return {};
}

}  // namespace qmt
