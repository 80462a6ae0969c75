// The words for a text code page 932 cannot hold, as the windows and the
// browser page show them.
#include "host/unconvertible_text.h"

#include <gtest/gtest.h>

namespace qmt {
namespace {

TEST(UnconvertibleText, NamesTheFirstCharacterAndItsLine) {
  const struct {
    const char* text;
    int firstLine;
    bool showCharacter;
    const char* want;
  } cases[] = {
      {"DS0\r\nカナ漢字ｱ", 1, true, ""},
      {"DS0\nCS\xC3\xA9" "E0\n", 1, true, "2行目の文字 U+00E9 (é) はシフトJISで表せません"},
      {"a\n\nb 😀 €", 5, true, "7行目の文字 U+1F600 (😀) はシフトJISで表せません"},
      {"€", 1, false, "1行目の文字 U+20AC はシフトJISで表せません"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnconvertibleText(c.text, c.firstLine, c.showCharacter), c.want) << c.text;
  // Malformed UTF-8 has no character: the converter's reason, with the line.
  const std::string malformed = UnconvertibleText("ok\n\xFF", 1);
  EXPECT_EQ(malformed.rfind("2行目: ", 0), 0u) << malformed;
}

}  // namespace
}  // namespace qmt
