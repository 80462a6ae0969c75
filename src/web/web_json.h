// The JSON the web page reads, and the windows' wording the page shows, in
// UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qmt::web {

// A compile error as the error page lists it: the editor's line (from 1;
// -1 when the message names none) and "[N行目] message".
struct ErrorLine {
  int line = -1;
  std::string text;
};

// `text` as a JSON string, quotes included.  Bytes that are not UTF-8 come
// out as U+FFFD.
std::string JsonString(std::string_view text);

struct OutcomeJson {
  // The outcome object of qmt_web.h; `errors` only after a compile.
  std::string Write(bool ok, const std::vector<ErrorLine>* errors, const std::vector<std::string>& messages,
                    const std::string& error, const std::string& fault, int frame) const;
};

// The keys, sliders and switches of the panel.
std::string PanelJson();

// "N行目の文字 U+XXXX (c) はシフトJISで表せません" for the first character of
// the UTF-8 `text` that code page 932 cannot hold, its line counted from
// `firstLine`, as the windows word it; malformed UTF-8 is named by the
// converter's own message.  With `keptBytes` the characters that stand for
// kept bytes convert (a macro file's text for saving).
std::string UnconvertibleText(std::string_view text, int firstLine, bool keptBytes = false);

}  // namespace qmt::web
