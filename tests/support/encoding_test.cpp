#include "support/encoding.h"

#include <gtest/gtest.h>

namespace qmt {
namespace {

TEST(Encoding, RoundTripsJapaneseAndAscii) {
  const std::string utf8 = "ラベル(x)が単独である ｱ ~";
  std::string sjis = Utf8ToCp932(utf8);
  // ラ is 0x83 0x89 in code page 932; the half-width ｱ is the single byte 0xB1.
  EXPECT_EQ(sjis.substr(0, 2), "\x83\x89");
  EXPECT_NE(sjis.find('\xB1'), std::string::npos);
  EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(Encoding, UsesMicrosoftTableNotJisX0208) {
  // The wave dash and the circled digits differ between CP932 and SHIFT_JIS.
  EXPECT_EQ(Utf8ToCp932("～①"), "\x81\x60\x87\x40");
}

TEST(Encoding, UnconvertibleCharacterIsReportedNotDropped) {
  std::string out, error;
  EXPECT_FALSE(TryUtf8ToCp932("ok\nbad 😀 here", out, error));
  EXPECT_NE(error.find("😀"), std::string::npos);
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_THROW(Utf8ToCp932("\xFF"), EncodingError);
}

TEST(Encoding, UndefinedBytesBecomeReplacementCharacter) {
  EXPECT_EQ(Cp932ToUtf8("a\xA0z"), "a\xEF\xBF\xBDz");
  // A lead byte without its trail byte is one replacement character, and
  // the byte after it stays; an unassigned pair is one character.
  const struct {
    const char* cp932;
    const char* utf8;
  } cases[] = {
      {"\x82\r\nx", "\xEF\xBF\xBD\r\nx"},
      {"\x82 A", "\xEF\xBF\xBD A"},
      {"\xE0\x7F", "\xEF\xBF\xBD\x7F"},
      {"\x81\xFD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\x82\t\x82\xA0", "\xEF\xBF\xBD\t\xE3\x81\x82"},  // then a tab and あ
      {"x\x82", "x\xEF\xBF\xBD"},
      {"\x85\x41z", "\xEF\xBF\xBDz"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.cp932;
}

// For an editor that must save the file it opened: every byte that would
// not come back through the text is kept as U+F0000 + byte, and converts
// back to itself.
TEST(Encoding, KeptBytesComeBackAsTheyWere) {
  const struct {
    std::string cp932, utf8;
  } cases[] = {
      {"// \x81\x40x\xA0z", "// \xE3\x80\x80x\xF3\xB0\x82\xA0z"},     // a full-width space, then 0xA0
      {std::string("a\0b", 3), "a\xF3\xB0\x80\x80" "b"},                   // NUL
      {"x\x82", "x\xF3\xB0\x82\x82"},                                   // a lead byte at the end
      {"\x82 A", "\xF3\xB0\x82\x82 A"},                                 // a lead byte without its trail
      {"\x85\x41z", "\xF3\xB0\x82\x85\xF3\xB0\x81\x81z"},               // an unassigned pair: both bytes
      {"\xFD\xFE\xFF", "\xF3\xB0\x83\xBD\xF3\xB0\x83\xBE\xF3\xB0\x83\xBF"},
      {"\xED\x40", "\xF3\xB0\x83\xAD\xF3\xB0\x81\x80"},               // NEC's copy of an IBM character
      {"\xFA\x5C", "\xE7\xBA\x8A"},                                     // the IBM one itself: 纊
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp932ToUtf8Kept(c.cp932), c.utf8) << c.cp932;
    std::string back, error;
    ASSERT_TRUE(TryUtf8ToCp932Kept(Cp932ToUtf8Kept(c.cp932), back, error)) << error;
    EXPECT_EQ(back, c.cp932);
  }
  // Every byte and every pair, whatever it is, comes back.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (int lead = 0x81; lead <= 0xFC; ++lead)
    for (int trail = 0x40; trail <= 0xFC; ++trail) all += {static_cast<char>(lead), static_cast<char>(trail), ' '};
  std::string back, error;
  ASSERT_TRUE(TryUtf8ToCp932Kept(Cp932ToUtf8Kept(all), back, error)) << error;
  EXPECT_EQ(back, all);
  // The plain conversion does not take them.
  EXPECT_FALSE(TryUtf8ToCp932("\xF3\xB0\x82\xA0", back, error));
}

TEST(Encoding, Utf8FilesAreToldFromCodePage932) {
  const struct {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"\xEF\xBB\xBF" "x=1\r\n", true},                      // Notepad's byte-order mark
      {"// \xE9\x96\x8B\xE5\xA7\x8B\r\nx=1\r\n", true},   // 開始 in UTF-8
      {Utf8ToCp932("// 開始\r\nx=1\r\n"), false},
      {Utf8ToCp932("*ﾃｽﾄ 半角カナ"), false},
      {"x=1\r\n", false},                                     // plain ASCII: either
      {"\xE9\x96\x8B\x81", false},                            // UTF-8, then a stray byte
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(LooksLikeUtf8(c.bytes), c.utf8) << c.bytes;
}

// Text of unknown encoding made fit for UTF-8 output: well-formed UTF-8
// stays, every other byte is one U+FFFD.
TEST(Encoding, ValidUtf8ReplacesEachBadByte) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"abc \xE8\xA8\x98\xF0\x9F\x98\x80", "abc \xE8\xA8\x98\xF0\x9F\x98\x80"},
      {"\x8B\x4C", "\xEF\xBF\xBDL"},                // code page 932
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"x\xE8\xA8", "x\xEF\xBF\xBD\xEF\xBF\xBD"},  // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

TEST(Encoding, ByteOrderMarkIsDroppedOnlyAtTheStart) {
  EXPECT_EQ(WithoutUtf8Bom("\xEF\xBB\xBFx=1"), "x=1");
  EXPECT_EQ(WithoutUtf8Bom("x=1\xEF\xBB\xBF"), "x=1\xEF\xBB\xBF");
  EXPECT_EQ(WithoutUtf8Bom("\xEF\xBB"), "\xEF\xBB");
  EXPECT_EQ(WithoutUtf8Bom(""), "");
}

TEST(Encoding, LeadBytes) {
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0x9F));
  EXPECT_TRUE(IsLeadByte(0xE0));
  EXPECT_TRUE(IsLeadByte(0xFC));
  EXPECT_FALSE(IsLeadByte(0xA1));
  EXPECT_FALSE(IsLeadByte(0x80));
  EXPECT_FALSE(IsLeadByte(0xFD));
}

}  // namespace
}  // namespace qmt
