#include "host/name_tables.h"

#include "compiler/script.h"
#include "host/embedded_tables.h"
#include "support/encoding.h"
#include "support/name_case.h"
#include "support/spliter.h"

namespace qmt {
// FNV-1a over the folded characters.
std::size_t NameTables::FoldHash::operator()(std::string_view name) const {
  std::uint64_t h = 14695981039346656037ull;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t length = 0;
    const std::uint16_t c = FoldedCharacter(name, i, length);
    if (length == 2) h = (h ^ (c >> 8)) * 1099511628211ull;
    h = (h ^ (c & 0xFF)) * 1099511628211ull;
    i += length;
  }
  return static_cast<std::size_t>(h);
}

bool NameTables::FoldEqual::operator()(std::string_view a, std::string_view b) const { return SameName(a, b); }

namespace {
unsigned char FoldedFirst(std::string_view name) {
  unsigned char c = static_cast<unsigned char>(name[0]);
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 0x20) : c;
}
}  // namespace

template <typename T>
void NameTables::FirstBytes::Fill(const Index<T>& index) {
  for (auto& b : bits) b = 0;
  for (const auto& entry : index) {
    if (entry.first.empty()) continue;
    unsigned char c = FoldedFirst(entry.first);
    bits[c >> 6] |= std::uint64_t{1} << (c & 63);
  }
}

bool NameTables::FirstBytes::MayHold(std::string_view name) const {
  if (name.empty()) return true;
  unsigned char c = FoldedFirst(name);
  return (bits[c >> 6] >> (c & 63)) & 1;
}

NameTables::NameTables()
    : funcLabel_(EmbeddedTableLines(EmbeddedTable::FuncLabel)),
      extValue_(EmbeddedTableLines(EmbeddedTable::ExtValue)),
      constant_(EmbeddedTableLines(EmbeddedTable::Constant)),
      colors_(DefaultColorList()) {
  funcIndex_ = IndexNames(funcLabel_);
  extIndex_ = IndexNames(extValue_);
  funcFirst_.Fill(funcIndex_);
  extFirst_.Fill(extIndex_);
  constantIndex_ = IndexValues(constant_);
  MergeConstants();
}

std::vector<std::string> NameTables::DefaultColorList() {
  return EmbeddedTableLines(EmbeddedTable::Colors);
}

void NameTables::SetColorList(std::vector<std::string> lines) {
  colors_ = std::move(lines);
  MergeConstants();
}

// A Constant line with a value wins; otherwise the colour list's first line
// with that name decides.
void NameTables::MergeConstants() {
  constants_ = constantIndex_;
  for (auto& [name, entry] : IndexValues(colors_)) {
    auto [it, fresh] = constants_.try_emplace(name, entry);
    if (!fresh && !it->second.hasValue) it->second = entry;
  }
  constantFirst_.Fill(constants_);
}

// First position wins, as in a linear scan.
NameTables::Index<int> NameTables::IndexNames(const std::vector<std::string>& lines) {
  Index<int> index;
  for (std::size_t i = 0; i < lines.size(); ++i) index.try_emplace(lines[i], static_cast<int>(i));
  return index;
}

NameTables::Index<NameTables::Entry> NameTables::IndexValues(const std::vector<std::string>& lines) {
  Index<Entry> index;
  for (const std::string& line : lines) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto [it, fresh] = index.try_emplace(line.substr(0, eq));
    if (!fresh) continue;
    std::string value = line.substr(eq + 1);
    if (value.empty()) continue;
    Entry& e = it->second;
    e.hasValue = true;
    try {
      TStringSpliter spliter(value);
      e.value = static_cast<std::int16_t>(static_cast<std::uint16_t>(spliter.Evaluate()));
    } catch (const SilentAbort& error) {
      e.error = error.message();
    }
  }
  return index;
}

int NameTables::FunctionId(std::string_view name) const {
  if (!funcFirst_.MayHold(name)) return -1;
  auto it = funcIndex_.find(name);
  return it == funcIndex_.end() ? -1 : it->second;
}

int NameTables::ExternalId(std::string_view name) const {
  if (!extFirst_.MayHold(name)) return -1;
  auto it = extIndex_.find(name);
  return it == extIndex_.end() ? -1 : it->second;
}

bool NameTables::ConstantValue(std::string_view name, std::int16_t& value) const {
  if (!constantFirst_.MayHold(name)) return false;
  auto it = constants_.find(name);
  if (it == constants_.end() || !it->second.hasValue) return false;
  if (!it->second.error.empty()) throw SilentAbort(it->second.error);
  value = it->second.value;
  return true;
}

void NameTables::Bind(TScript& script, std::function<void(const std::string&)> errorLog) const {
  script.OnConstLab = [this](std::string_view name, std::int16_t& dt) { return ConstantValue(name, dt); };
  script.OnExtLabel = [this](std::string_view name) { return ExternalId(name); };
  script.OnExtFunc = [this](std::string_view name) { return FunctionId(name); };
  if (errorLog) {
    script.OnErrorMsg = [log = std::move(errorLog)](int, const std::string& msg) { log(msg); };
  } else {
    script.OnErrorMsg = nullptr;
  }
}

}  // namespace qmt
