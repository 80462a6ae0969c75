#include "lang/reference.h"

#include "lang/manual_pages.h"

#include <cctype>

namespace qmt::lang {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

const Reference& Reference::Builtin() {
  static const Reference r(BuiltinManualPage(ManualPage::kBuiltins), BuiltinManualPage(ManualPage::kCommands),
                           BuiltinManualPage(ManualPage::kLanguage));
  return r;
}

Reference::Reference(std::string_view builtins, std::string_view commands, std::string_view language) {
  AddPage(commands, true);
  AddPage(builtins, false);
  AddPage(language, false);
}

void Reference::AddPage(std::string_view markdown, bool commands) {
  if (!commands) {
    // "| `a` `b` | what they are |": the first cell names, the rest says.
    for (const ManualTableRow& row : ManualTableRows(markdown))
      for (const std::string& name : row.names) notes_.emplace(name, row.says);
  }
  for (const ManualEntry& entry : ManualEntries(markdown)) {
    ReferenceEntry e;
    e.title = entry.title;
    e.text = entry.text;
    const std::size_t bodyAt = e.text.find('\n') == std::string::npos ? 0 : e.text.find('\n');
    const std::vector<std::string_view> body = BackquotedSpans(std::string_view(e.text).substr(bodyAt));
    for (const std::string& name : entry.keys) {
      e.key = name;
      // The first backquoted form in the body that starts with the key.
      e.signature.clear();
      for (std::string_view q : body) {
        if (q.size() <= name.size() || q.compare(0, name.size(), name) != 0) continue;
        if (!commands && q[name.size()] != '(') continue;
        e.signature = std::string(q);
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
