// The escaped text form of a command line: a byte written as '%' and two
// hexadecimal digits.  Used only to show and type lines; the device itself
// reads raw bytes.
#pragma once

#include <string>
#include <string_view>

namespace qmt {

// Text -> bytes.  "%hh" (either case) becomes the byte; a '%' whose next two
// characters are not both hexadecimal digits is dropped together with them.
// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

std::string Unescape(std::string_view text);

// Bytes -> text.  Control bytes, '"', '%', 0x7F, 0x80-0xA0 and 0xE0-0xFF are
// escaped (upper-case digits); everything else stays as it is.
std::string EscapeForDisplay(std::string_view bytes);

// Bytes -> text, every byte escaped.
std::string EscapeAll(std::string_view bytes);

}  // namespace qmt
