// The manual's pages cut into entries and table rows, as the language
// server's hover and the window's F1 pane both take them.
#include "lang/manual_pages.h"

#include <gtest/gtest.h>

namespace qmt::lang {
namespace {

using Keys = std::vector<std::string>;

TEST(ManualPages, EntriesRunFromAThirdLevelHeadingToTheNextHeading) {
  const char* page =
      "# Page\n"
      "intro\n"
      "### `GOTO` / `GOSUB` / `EXIT`\n"
      "jumps\n"
      "#### a smaller heading stays in the entry\n"
      "```\n"
      "### not a heading inside a code block\n"
      "```\n"
      "<!-- example: jump -->\n"
      "done\n"
      "\n"
      "## Next section\n"
      "### `d(\"…\")` — sends a line\n"
      "text\n"
      "### `=` 代入\n"
      "### `時間割込` and `@1` and `0x10`\n"
      "### no names\n"
      "last\n\n\n";
  const std::vector<ManualEntry> entries = ManualEntries(page);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].keys, (Keys{"GOTO", "GOSUB", "EXIT"}));
  EXPECT_EQ(entries[0].title, "`GOTO` / `GOSUB` / `EXIT`");
  // The marker comment and its line end go, and the blank end.
  EXPECT_EQ(entries[0].text,
            "### `GOTO` / `GOSUB` / `EXIT`\njumps\n#### a smaller heading stays in the entry\n```\n"
            "### not a heading inside a code block\n```\ndone");
  EXPECT_EQ(entries[1].keys, Keys{"d"});
  EXPECT_EQ(entries[1].text, "### `d(\"…\")` — sends a line\ntext");
  EXPECT_EQ(entries[2].keys, Keys{"="});
  EXPECT_EQ(entries[3].keys, (Keys{"時間割込", "@1", "0x10"}));
  EXPECT_EQ(entries[4].keys, Keys{});
  EXPECT_EQ(entries[4].text, "### no names\nlast");
}

TEST(ManualPages, TableRowsNameWhatTheirFirstCellQuotes) {
  const char* page =
      "## 外部変数\n"
      "| 名前 | 意味 |\n"
      "|---|---|\n"
      "| `PTO` `SFT1` | the switches |\n"
      "  | `anFLOW1`〜`anFLOW5` | gauges, 0〜100 |  \n"
      "| `SelPanel(n)` | a call, not a name |\n"
      "| `\\n` | an escape, not a name |\n"
      "\n"
      "### 色\n"
      "| `a` | header of this table |\n"
      "|---|---|\n"
      "| `青` | $01 |\n"
      "```\n"
      "| `X` | inside a code block |\n"
      "```\n";
  const std::vector<ManualTableRow> rows = ManualTableRows(page);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].names, (Keys{"PTO", "SFT1"}));
  EXPECT_EQ(rows[0].section, "外部変数");
  EXPECT_EQ(rows[0].header, "| 名前 | 意味 |");
  EXPECT_EQ(rows[0].row, "| `PTO` `SFT1` | the switches |");
  EXPECT_EQ(rows[0].says, "the switches");
  EXPECT_EQ(rows[1].names, (Keys{"anFLOW1", "anFLOW5"}));
  EXPECT_EQ(rows[1].says, "gauges, 0〜100");
  EXPECT_EQ(rows[2].names, Keys{"青"});
  EXPECT_EQ(rows[2].section, "色");
  EXPECT_EQ(rows[2].header, "| `a` | header of this table |");
}

}  // namespace
}  // namespace qmt::lang
