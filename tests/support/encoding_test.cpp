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
