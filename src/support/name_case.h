// Names compared without regard to letter case, as a locale-aware
// case-insensitive comparison of code page 932 text does: the ASCII letters,
// the full-width Latin letters (Ａ and ａ), and the Greek and Cyrillic letters
// of rows 6 and 7 (Α and α, Д and д).  Other double-byte characters compare
// exactly; the trail byte of a double-byte character is never taken for a
// letter of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/encoding.h"

namespace qmt {

// The character at name[i], folded to lower case, as a 16-bit code (the
// byte itself for a single byte, lead << 8 | trail for a double-byte
// character); `length` receives how many bytes it takes.  A lead byte at
// the end of the name stands alone.
inline std::uint16_t FoldedCharacter(std::string_view name, std::size_t i, std::size_t& length) {
  const auto b = static_cast<std::uint8_t>(name[i]);
  if (!IsLeadByte(b) || i + 1 >= name.size()) {
    length = 1;
    return b >= 'A' && b <= 'Z' ? static_cast<std::uint16_t>(b + 0x20) : b;
  }
  length = 2;
  auto t = static_cast<std::uint8_t>(name[i + 1]);
  if (b == 0x82 && t >= 0x60 && t <= 0x79) {
    t = static_cast<std::uint8_t>(t + 0x21);  // Ａ-Ｚ 8260-8279 -> ａ-ｚ 8281-829A
  } else if (b == 0x83 && t >= 0x9F && t <= 0xB6) {
    t = static_cast<std::uint8_t>(t + 0x20);  // Α-Ω 839F-83B6 -> α-ω 83BF-83D6
  } else if (b == 0x84 && t >= 0x40 && t <= 0x60) {
    // А-Я 8440-8460 -> а-я 8470-8491, which step over 0x7F (no trail byte).
    t = static_cast<std::uint8_t>(t + 0x30);
    if (t >= 0x7F) ++t;
  }
  return static_cast<std::uint16_t>(b << 8 | t);
}

// Whole-name equality ignoring letter case.
bool SameName(std::string_view a, std::string_view b);

// The key under which names compare: every letter in lower case.
std::string FoldName(std::string_view name);

}  // namespace qmt
