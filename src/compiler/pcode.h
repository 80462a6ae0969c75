// P-code image helpers: reading operands and the text form of instructions
// used by listings and by the run trace.
//
// Image layout: CodeStart (16 bits), VarCount (16 bits), the string area
// (each literal's bytes and a zero byte), the instructions, a final zero
// byte.  Every 16-bit quantity is little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qmt {

using TAByte = std::vector<std::uint8_t>;

// An image holds at most 65536 bytes: addresses are 16 bits.
constexpr std::size_t kMaxImageSize = 65536;

inline std::uint16_t ReadWord(std::span<const std::uint8_t> image, std::size_t at) {
  std::uint16_t lo = at < image.size() ? image[at] : 0;
  std::uint16_t hi = at + 1 < image.size() ? image[at + 1] : 0;
  return static_cast<std::uint16_t>(lo | (hi << 8));
}

// The string at `address` as listings show it: read up to its first zero
// byte, control bytes, the double quote, the per cent sign and the bytes
// 0x7F, 0x80, 0xA0, 0xFD-0xFF written as "\xHH"; double-byte characters
// kept whole.
std::string EscapeString(std::span<const std::uint8_t> image, std::size_t address);

// The text of the instruction at `p` ("6E 05 00       Num 5"), with `p`
// advanced past it.  Nothing happens (empty text, `p` unchanged) when `p` is
// negative or greater than `last`.  Bytes outside the image read as zero.
std::string InstructionText(std::span<const std::uint8_t> image, int last, int& p);

}  // namespace qmt
