// Text crosses into the core as code page 932 (Shift-JIS) bytes held in
// std::string.  These helpers convert at the edges: terminal output, Qt widgets
// and UTF-8 input files.  They convert by the code page's table, made from
// iconv's CP932 when the program is built, so they need no iconv at run time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qmt {

// Code page 932 lead bytes: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsLeadByte(std::uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Code page 932 trail bytes: 0x40-0x7E and 0x80-0xFC.
constexpr bool IsTrailByte(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Raised when a text cannot be converted; the message names the offending
// character and its position.
class EncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The Unicode character of one code page 932 character (a byte, or lead byte
// * 256 + second byte), or `undefined` when the code page has none.
char32_t DecodeCp932(std::uint16_t code, char32_t undefined);

// Code page 932 -> UTF-8.  Bytes that code page 932 does not define are shown
// as U+FFFD so that a message is never lost because of one bad byte: an
// unassigned double-byte code is one U+FFFD, and so is a lead byte whose
// next byte is no trail byte (that byte is converted on its own).
std::string Cp932ToUtf8(std::string_view cp932);

// UTF-8 -> code page 932.  A character that code page 932 cannot hold (or
// malformed UTF-8) raises EncodingError naming it and its 1-based line.
std::string Utf8ToCp932(std::string_view utf8);

// Non-throwing variant: returns false and fills `error` instead.
bool TryUtf8ToCp932(std::string_view utf8, std::string& out, std::string& error);

// Code page 932 <-> UTF-8 for an editor that must give back the file's own
// bytes.  Every byte that would not come back as itself through the text is
// kept as the character U+F0000 + byte (Supplementary Private Use Area-A,
// which the code page cannot hold, so no other character collides): a byte
// the code page does not define, both bytes of an unassigned pair, a pair
// whose character the code page writes with other bytes (the NEC and IBM
// duplicates), and NUL, which would end a C string.  TryUtf8ToCp932Kept turns
// those characters back into their bytes and otherwise converts as
// TryUtf8ToCp932 does.
inline constexpr char32_t kKeptByteFirst = 0xF0000;
inline constexpr char32_t kKeptByteLast = 0xF00FF;
std::string Cp932ToUtf8Kept(std::string_view cp932);
bool TryUtf8ToCp932Kept(std::string_view utf8, std::string& out, std::string& error);

// Whether a file's bytes look like UTF-8 rather than code page 932: a
// byte-order mark, or well-formed UTF-8 with at least one character beyond
// ASCII (Japanese code page 932 text is almost never well-formed UTF-8).
bool LooksLikeUtf8(std::string_view bytes);

// Convenience for string literals in source files (which are UTF-8).
inline std::string Sjis(std::string_view utf8) { return Utf8ToCp932(utf8); }

// A UTF-8 file's text without the byte-order mark some editors put first.
inline std::string_view WithoutUtf8Bom(std::string_view utf8) {
  return utf8.substr(0, 3) == "\xEF\xBB\xBF" ? utf8.substr(3) : utf8;
}

// `text` with each byte that is not part of well-formed UTF-8 replaced by
// U+FFFD, for output that must be UTF-8 (a report of a file in another
// encoding).
std::string ValidUtf8(std::string_view text);

}  // namespace qmt
