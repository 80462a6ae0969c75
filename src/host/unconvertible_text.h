// The words of the windows and the browser page for a text that code page
// 932 cannot hold, in Japanese like the rest of them.
#pragma once

#include <string>
#include <string_view>

namespace qmt {

// "N行目の文字 U+XXXX (c) はシフトJISで表せません" (UTF-8), naming the first
// character of `utf8` that code page 932 cannot hold, its line counted from
// `firstLine`; empty when every character converts.  Without
// `showCharacter` the character itself is left out, for texts that must
// convert.  Malformed UTF-8 has no character to show: "N行目: " and the
// converter's reason.  With `keptBytes` the characters that stand for kept
// bytes (Cp932ToUtf8Kept) convert, as TryUtf8ToCp932Kept takes them.
std::string UnconvertibleText(std::string_view utf8, int firstLine = 1, bool showCharacter = true,
                              bool keptBytes = false);

}  // namespace qmt
