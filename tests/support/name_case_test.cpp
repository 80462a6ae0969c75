// Names that compare without regard to letter case: single-byte, full-width,
// Greek and Cyrillic letters, and nothing else.
#include "support/name_case.h"

#include <gtest/gtest.h>

namespace qmt {
namespace {

TEST(NameCase, FoldsTheLettersOfEveryScriptWithCase) {
  const struct {
    const char* a;  // UTF-8
    const char* b;
    bool same;
  } cases[] = {
      {"onRUN", "ONrun", true},
      {"色Ａ", "色ａ", true},
      {"ＡＢＣＸＹＺ", "ａｂｃｘｙｚ", true},
      {"ΑΒΓΨΩ", "αβγψω", true},
      {"АБВМНОПЯ", "абвмнопя", true},  // н and о sit on either side of 0x7F
      {"ЁЖ", "ёж", true},
      {"Ａ", "A", false},  // full-width and half-width stay apart
      {"Ａ", "ａａ", false},
      {"Ω", "ω", true},
      {"Ω", "Ｏ", false},
      {"ア", "あ", false},
      {"漢X", "漢x", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameName(Sjis(c.a), Sjis(c.b)), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(FoldName(Sjis(c.a)) == FoldName(Sjis(c.b)), c.same) << c.a << " / " << c.b;
  }
  // Folding keeps a name's length and never touches a trail byte that looks
  // like a letter: ア is 0x83 0x41, and 0x83 0x61 is another character.
  EXPECT_EQ(FoldName(Sjis("アＸ")), Sjis("アｘ"));
  EXPECT_FALSE(SameName(Sjis("ア"), std::string("\x83\x61", 2)));
  EXPECT_EQ(FoldName(Sjis("ЯΩＺ")), Sjis("яωｚ"));
  EXPECT_EQ(FoldName("x\x84"), "x\x84");  // a lead byte at the end stands alone
}

}  // namespace
}  // namespace qmt
