#include "lang/manual_pages.h"

#include <cctype>

namespace qmt::lang {

extern const std::string_view kReferencePages[];

namespace {

// The lines of a page, each without its line end.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsFence(std::string_view line) { return Trimmed(line).substr(0, 3) == "```"; }

// "## text": the level (1 to 6) and the text, or level 0.
int HeadingLevel(std::string_view line, std::string_view& text) {
  std::size_t level = 0;
  while (level < line.size() && level < 7 && line[level] == '#') ++level;
  if (level == 0 || level > 6 || level >= line.size() || line[level] != ' ') return 0;
  text = line.substr(level + 1);
  return static_cast<int>(level);
}

// Marker comments of the live examples are not for the reader.
std::string WithoutComments(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = text.find("<!--", pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find("-->", open);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    pos = close + 3;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  out.append(text.substr(pos));
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace

std::vector<std::string_view> BackquotedSpans(std::string_view line) {
  std::vector<std::string_view> out;
  for (std::size_t pos = 0;;) {
    const std::size_t open = line.find('`', pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = line.find('`', open + 1);
    if (close == std::string_view::npos) break;
    out.push_back(line.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
  return out;
}

namespace {

bool IsAsciiWordStart(char c) { return c == '_' || c == '@' || std::isalpha(static_cast<unsigned char>(c)); }
bool IsAsciiWordChar(char c) { return c == '_' || std::isalnum(static_cast<unsigned char>(c)); }
// A character of a name: ASCII letters, digits, "_", "@", and any character
// beyond ASCII (the Japanese names).
bool IsNameByte(char c) {
  return c == '_' || c == '@' || std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80;
}

// The key a heading's backquoted span names: an identifier up to the first
// character that cannot continue it, else the span up to a space or "(".
std::string KeyOf(std::string_view span) {
  std::size_t n = 0;
  if (!span.empty() && IsAsciiWordStart(span[0])) {
    n = 1;
    while (n < span.size() && IsAsciiWordChar(span[n])) ++n;
  } else {
    while (n < span.size() && span[n] != ' ' && span[n] != '\t' && span[n] != '(') ++n;
  }
  return std::string(span.substr(0, n));
}

bool IsName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsNameByte(c)) return false;
  return true;
}

}  // namespace

std::string_view BuiltinManualPage(ManualPage page) { return kReferencePages[static_cast<int>(page)]; }

std::vector<ManualEntry> ManualEntries(std::string_view markdown) {
  struct Head {
    std::size_t at;
    int level;
    std::string_view text;
  };
  std::vector<Head> heads;
  bool fence = false;
  std::size_t at = 0;
  for (std::string_view line : Lines(markdown)) {
    if (IsFence(line)) fence = !fence;
    std::string_view text;
    const int level = fence ? 0 : HeadingLevel(line, text);
    if (level >= 1 && level <= 3) heads.push_back({at, level, text});
    at += line.size() + 1;
  }
  std::vector<ManualEntry> entries;
  for (std::size_t h = 0; h < heads.size(); ++h) {
    if (heads[h].level != 3) continue;
    const std::size_t to = h + 1 < heads.size() ? heads[h + 1].at : markdown.size();
    ManualEntry e;
    e.title = std::string(heads[h].text);
    e.text = WithoutComments(markdown.substr(heads[h].at, to - heads[h].at));
    for (std::string_view span : BackquotedSpans(heads[h].text)) {
      std::string key = KeyOf(span);
      if (!key.empty()) e.keys.push_back(std::move(key));
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<ManualTableRow> ManualTableRows(std::string_view markdown) {
  std::vector<ManualTableRow> rows;
  std::string section, header;
  bool fence = false, inTable = false;
  for (std::string_view raw : Lines(markdown)) {
    const std::string_view line = Trimmed(raw);
    if (IsFence(raw)) {
      fence = !fence;
      inTable = false;
      continue;
    }
    if (fence) continue;
    std::string_view heading;
    if (HeadingLevel(raw, heading) > 0) {
      section = std::string(Trimmed(heading));
      inTable = false;
      continue;
    }
    if (line.size() < 2 || line.front() != '|') {
      inTable = false;
      continue;
    }
    if (!inTable) {
      inTable = true;
      header = std::string(line);
      continue;
    }
    if (line.substr(0, 4) == "|---") continue;
    const std::size_t bar = line.find('|', 1);
    if (bar == std::string_view::npos) continue;
    ManualTableRow row;
    for (std::string_view span : BackquotedSpans(line.substr(1, bar - 1)))
      if (IsName(span)) row.names.emplace_back(span);
    if (row.names.empty()) continue;
    std::string_view says = line.substr(bar + 1);
    while (!says.empty() && (says.back() == '|' || says.back() == ' ')) says.remove_suffix(1);
    row.says = std::string(Trimmed(says));
    row.section = section;
    row.header = header;
    row.row = std::string(line);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace qmt::lang
