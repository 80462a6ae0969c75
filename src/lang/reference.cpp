#include "lang/reference.h"

#include <cctype>

namespace qmt::lang {

extern const std::string_view kReferencePages[];

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Marker comments of the live examples are not for the reader.
std::string WithoutComments(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t open = text.find("<!--", pos);
    if (open == std::string_view::npos) break;
    std::size_t close = text.find("-->", open);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    pos = close + 3;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  out.append(text.substr(pos));
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// The backquoted words of a line.
std::vector<std::string> Quoted(std::string_view line) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t open = line.find('`', pos);
    if (open == std::string_view::npos) break;
    std::size_t close = line.find('`', open + 1);
    if (close == std::string_view::npos) break;
    out.emplace_back(line.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
  return out;
}

bool IsNameChar(char c) { return c == '_' || std::isalnum(static_cast<unsigned char>(c)) || c == '@'; }

}  // namespace

const Reference& Reference::Builtin() {
  static const Reference r(kReferencePages[0], kReferencePages[1], kReferencePages[2]);
  return r;
}

Reference::Reference(std::string_view builtins, std::string_view commands, std::string_view language) {
  AddPage(commands, true);
  AddPage(builtins, false);
  AddPage(language, false);
}

void Reference::AddPage(std::string_view markdown, bool commands) {
  // Heading lines and where they start.
  struct Head {
    std::size_t at;
    int level;
    std::string_view text;
  };
  std::vector<Head> heads;
  bool fence = false;
  for (std::size_t pos = 0; pos < markdown.size();) {
    std::size_t end = markdown.find('\n', pos);
    if (end == std::string_view::npos) end = markdown.size();
    std::string_view line = markdown.substr(pos, end - pos);
    if (line.substr(0, 3) == "```") fence = !fence;
    std::string_view row = line;
    while (!row.empty() && row.front() == ' ') row.remove_prefix(1);
    if (!commands && !fence && row.size() > 1 && row.front() == '|') {
      // "| `a` `b` | what they are |": the first cell names, the rest says.
      std::size_t bar = row.find('|', 1);
      if (bar != std::string_view::npos) {
        std::string says(row.substr(bar + 1));
        while (!says.empty() && (says.back() == '|' || says.back() == ' ')) says.pop_back();
        while (!says.empty() && says.front() == ' ') says.erase(0, 1);
        for (const std::string& name : Quoted(row.substr(0, bar)))
          if (!name.empty() && IsNameChar(name[0])) notes_.emplace(name, says);
      }
    }
    if (!fence && !line.empty() && line[0] == '#') {
      int level = 0;
      while (level < static_cast<int>(line.size()) && line[level] == '#') ++level;
      if (level <= 3 && level < static_cast<int>(line.size()) && line[level] == ' ')
        heads.push_back({pos, level, line.substr(level + 1)});
    }
    pos = end + 1;
  }
  for (std::size_t h = 0; h < heads.size(); ++h) {
    if (heads[h].level != 3) continue;
    const std::size_t to = h + 1 < heads.size() ? heads[h + 1].at : markdown.size();
    ReferenceEntry e;
    e.title = std::string(heads[h].text);
    e.text = WithoutComments(markdown.substr(heads[h].at, to - heads[h].at));
    for (const std::string& key : Quoted(heads[h].text)) {
      // "`GOTO` / `GOSUB`": each name; a key is a word or a mnemonic.
      if (key.empty() || !IsNameChar(key[0])) continue;
      std::string name;
      for (char c : key) {
        if (!IsNameChar(c)) break;
        name += c;
      }
      e.key = name;
      // The first backquoted form in the body that starts with the key.
      e.signature.clear();
      std::string_view body = std::string_view(e.text).substr(e.text.find('\n') == std::string::npos ? 0 : e.text.find('\n'));
      for (const std::string& q : Quoted(body)) {
        if (q.size() <= name.size() || q.compare(0, name.size(), name) != 0) continue;
        if (!commands && q[name.size()] != '(') continue;
        e.signature = q;
        break;
      }
      if (commands)
        commands_.emplace(name, e);
      else
        words_.emplace(Lower(name), e);
    }
  }
}

const ReferenceEntry* Reference::Word(std::string_view name) const {
  auto it = words_.find(Lower(name));
  return it == words_.end() ? nullptr : &it->second;
}

const ReferenceEntry* Reference::Command(std::string_view mnemonic) const {
  auto it = commands_.find(std::string(mnemonic));
  return it == commands_.end() ? nullptr : &it->second;
}

std::string Reference::Note(std::string_view name) const {
  auto it = notes_.find(std::string(name));
  return it == notes_.end() ? std::string() : it->second;
}

std::vector<std::string> SignatureParameters(std::string_view signature) {
  std::vector<std::string> out;
  std::size_t open = signature.find('('), close = signature.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) return out;
  std::string_view inner = signature.substr(open + 1, close - open - 1);
  std::size_t pos = 0;
  while (pos <= inner.size()) {
    std::size_t comma = inner.find(',', pos);
    if (comma == std::string_view::npos) comma = inner.size();
    std::string_view p = inner.substr(pos, comma - pos);
    while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
    while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
    if (!p.empty()) out.emplace_back(p);
    pos = comma + 1;
  }
  return out;
}

}  // namespace qmt::lang
