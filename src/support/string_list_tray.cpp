#include "support/string_list_tray.h"

#include "support/name_case.h"

namespace qmt {

void TMyString::Changing() {
  if (updateCount_ == 0 && OnChanging) OnChanging();
}

void TMyString::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange();
}

void TMyString::BeginUpdate() {
  if (updateCount_ == 0) Changing();
  ++updateCount_;
}

void TMyString::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) Changed();
}

void TMyString::Add(std::string s) {
  Changing();
  items_.push_back(std::move(s));
  Changed();
}

void TMyString::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TMyString::Assign(const std::vector<std::string>& items) {
  BeginUpdate();
  items_ = items;
  EndUpdate();
}

int TMyString::IndexOf(std::string_view s) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (SameName(items_[i], s)) return static_cast<int>(i);
  return -1;
}

int TMyString::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    auto eq = items_[i].find('=');
    if (eq == std::string::npos) continue;
    if (SameName(std::string_view(items_[i]).substr(0, eq), name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TMyString::ValueFromIndex(std::size_t i) const {
  const std::string& line = items_.at(i);
  auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void TMyString::WriteStrings(ResourceWriter& out) const {
  if (hidden_)
    throw ResourceError("cannot write a scrambled string list: this program stores string lists plain only");
  out.WriteListBegin();
  out.WriteString("");
  for (const auto& s : items_) out.WriteString(s);
  out.WriteListEnd();
}

void TMyString::ReadStrings(ResourceReader& in) {
  // Read everything first, so that a stream we cannot use leaves the list
  // untouched instead of half replaced.
  in.ReadListBegin();
  std::vector<std::string> read;
  bool first = true;
  while (!in.EndOfList()) {
    std::string s = in.ReadString();
    if (first) {
      first = false;
      if (s == kScrambledHeader)
        throw ResourceError("cannot read a scrambled string list: this program has no key for it");
      continue;  // the header is never an item
    }
    read.push_back(std::move(s));
  }
  in.ReadListEnd();
  BeginUpdate();
  items_ = std::move(read);
  EndUpdate();
}

std::string TStringListTray::SaveToStream() const {
  ResourceWriter out;
  items_.WriteStrings(out);
  return out.Take();
}

void TStringListTray::LoadFromStream(std::string_view bytes) {
  ResourceReader in(bytes);
  TMyString read;
  read.ReadStrings(in);
  if (!in.AtEnd())
    throw ResourceError("resource stream has " + std::to_string(bytes.size() - in.Position()) +
                        " stray bytes after the string list");
  items_.Assign(read);
}

}  // namespace qmt
