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
      {Units::kUtf16, {0, 2}, {0, 2}, "漢字", "ab漢字\r\ncd"},
      {Units::kUtf16, {0, 1}, {1, 1}, "", "ad"},
      {Units::kUtf16, {0, 1}, {0, 1}, "😀\nx", "a😀\nxb\r\ncd"},
      {Units::kUtf16, {5, 0}, {9, 9}, "!", "ab\r\ncd!"},  // past the end: the end
      {Units::kUtf8, {0, 1}, {0, 2}, "字", "a字\r\ncd"},
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

// After an edit the lines are those of the client's text read afresh: a
// lone CR met by an LF is one line end, as the editor counts it.
TEST(Document, EditsKeepTheClientsLines) {
  const struct {
    const char* text;
    Position start, end;
    const char* insert;
    const char* want;
  } cases[] = {
      {"a\rb", {1, 0}, {1, 0}, "\n", "a\r\nb"},
      {"a\r", {1, 0}, {1, 0}, "\n", "a\r\n"},
      {"a\r\rb", {1, 0}, {1, 0}, "\n", "a\r\n\rb"},
      {"a\rb", {1, 0}, {1, 1}, "\nc", "a\r\nc"},
      {"a\rb\r\n", {1, 0}, {2, 0}, "\n", "a\r\n"},
      {"a\rb", {1, 0}, {1, 0}, "x", "a\rxb"},
      {"a\nb", {0, 1}, {0, 1}, "\r", "a\r\nb"},
      {"a\r\nb", {0, 1}, {1, 0}, "", "ab"},
      {"a\rb", {0, 1}, {0, 1}, "\r", "a\r\rb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    Document d, fresh;
    d.SetText(c.text);
    d.Replace(c.start, c.end, c.insert);
    fresh.SetText(c.want);
    EXPECT_EQ(d.Utf8(), c.want);
    EXPECT_EQ(d.LineCount(), fresh.LineCount());
    EXPECT_EQ(d.Cp932(), fresh.Cp932());
  }
}

// Asking for the columns of a long line's names in order costs one pass
// over it; columns asked out of order still answer right.
TEST(Document, ColumnsInAndOutOfOrder) {
  Document d;
  std::string line;
  for (int i = 0; i < 20000; ++i) line += "漢a";
  d.SetText("x\n" + line);
  for (int units = 0; units < 40000; units += 7) EXPECT_EQ(d.ToCp932(1, units), units / 2 * 3 + units % 2 * 2);
  EXPECT_EQ(d.ToUnits(1, 30000), 20000);
  EXPECT_EQ(d.ToUnits(1, 3), 2);
  EXPECT_EQ(d.ToUnits(0, 1), 1);
  EXPECT_EQ(d.ToUnits(1, 2), 1);
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
