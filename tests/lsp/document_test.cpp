// The server's documents: incremental edits in UTF-16 and UTF-8 units, and
// the code page 932 text with its places.
#include <gtest/gtest.h>

#include "lsp/document.h"
#include "support/encoding.h"

namespace qmt::lsp {
namespace {

TEST(Document, IncrementalEditsWithKanji) {
  struct Case {
    Units units;
    Position start, end;
    std::string text, want;
  } cases[] = {
      {Units::kUtf16, {0, 2}, {0, 2}, "漢字", "ab漢字\ncd"},
      {Units::kUtf16, {0, 1}, {1, 1}, "", "ad"},
      {Units::kUtf16, {0, 1}, {0, 1}, "😀\nx", "a😀\nxb\ncd"},
      {Units::kUtf16, {5, 0}, {9, 9}, "!", "ab\ncd!"},  // past the end: the end
      {Units::kUtf8, {0, 1}, {0, 2}, "字", "a字\ncd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    Document d(c.units);
    d.SetText("ab\r\ncd");
    d.Replace(c.start, c.end, c.text);
    EXPECT_EQ(d.Utf8(), c.want);
  }
  // Removing what was inserted: a kanji is one UTF-16 unit, a surrogate pair two.
  Document d;
  d.SetText("x = 1\n");
  d.Replace({0, 0}, {0, 0}, "漢😀");
  EXPECT_EQ(d.Utf8(), "漢😀x = 1\n");
  d.Replace({0, 0}, {0, 3}, "");
  EXPECT_EQ(d.Utf8(), "x = 1\n");
}

// Lines end at CR LF, LF or CR; a line end at the very end begins an empty
// last line the client can put its cursor on.
TEST(Document, LinesAsTheClientCountsThem) {
  const struct {
    const char* text;
    int lines;
  } cases[] = {{"", 1}, {"a", 1}, {"a\n", 2}, {"a\r\n\r\n", 3}, {"a\rb", 2}, {"\r\n", 2}, {"a\n\rb", 3}};
  for (const auto& c : cases) {
    Document d;
    d.SetText(c.text);
    EXPECT_EQ(d.LineCount(), c.lines) << c.text;
  }
}

TEST(Document, Cp932AndColumns) {
  Document d;
  d.SetText("a = \"漢😀ｱ\"\nb");
  EXPECT_EQ(d.Cp932(), Sjis("a = \"漢〓ｱ\"\r\nb"));
  auto bad = d.UnmappableCharacters();
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(bad[0].character, 6);
  EXPECT_EQ(bad[0].length, 2);
  // "a = \"" 5, 漢 2 bytes / 1 unit, 〓 2 bytes / 2 units, ｱ 1 byte / 1 unit.
  EXPECT_EQ(d.ToUnits(0, 9), 8);
  EXPECT_EQ(d.ToUnits(0, 10), 9);
  EXPECT_EQ(d.ToCp932(0, 9), 10);
  EXPECT_EQ(d.ToCp932(0, 7), 7);  // inside the pair: its start
}

}  // namespace
}  // namespace qmt::lsp
