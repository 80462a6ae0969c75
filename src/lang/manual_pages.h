// The manual's reference pages (built-ins, device commands, language) as the
// programs carry them, and the one way they are cut into entries: for the
// language server's hover and completion and for the window's reference
// pane (F1).  Text is UTF-8 Markdown.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qmt::lang {

enum class ManualPage { kBuiltins, kCommands, kLanguage };

// A page as built into the program.
std::string_view BuiltinManualPage(ManualPage page);

// An entry: a "### " heading and what follows it up to the next heading of
// level 1 to 3.  Lines inside code blocks are never headings.
struct ManualEntry {
  // The names written in backquotes in the heading, each cut at the first
  // character that cannot continue it: "`GOTO` / `GOSUB`" gives GOTO and
  // GOSUB, "`d(...)`" gives d, "`=` 代入" gives =.
  std::vector<std::string> keys;
  std::string title;  // the heading without "### "
  std::string text;   // from the heading on, example markers removed, no blank end
};
std::vector<ManualEntry> ManualEntries(std::string_view markdown);

// A row of a table whose first cell names things in backquotes (the
// language page's external values, constants and event labels).  A table's
// first row is its header; rows inside code blocks are text.
struct ManualTableRow {
  std::vector<std::string> names;  // the names of the first cell that are words ("PTO", "青")
  std::string section;             // the heading the table is under, without the #s
  std::string header;              // the table's first row
  std::string row;                 // the row, without surrounding spaces
  std::string says;                // the cells after the first, without the outer bars
};
std::vector<ManualTableRow> ManualTableRows(std::string_view markdown);

// The backquoted spans of a line of Markdown, without the backquotes.
std::vector<std::string_view> BackquotedSpans(std::string_view line);

}  // namespace qmt::lang
