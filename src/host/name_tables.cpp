#include "host/name_tables.h"

#include "compiler/script.h"
#include "host/embedded_tables.h"
#include "support/encoding.h"
#include "support/spliter.h"

namespace qmt {
std::string FoldName(std::string_view name) {
  std::string key(name);
  for (std::size_t i = 0; i < key.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(key[i]);
    if (IsLeadByte(c)) {
      ++i;  // the trail byte may look like a letter
    } else if (c >= 'A' && c <= 'Z') {
      key[i] = static_cast<char>(c + 0x20);
    }
  }
  return key;
}

NameTables::NameTables()
    : funcLabel_(EmbeddedTableLines(EmbeddedTable::FuncLabel)),
      extValue_(EmbeddedTableLines(EmbeddedTable::ExtValue)),
      constant_(EmbeddedTableLines(EmbeddedTable::Constant)),
      colors_(DefaultColorList()) {
  funcIndex_ = IndexNames(funcLabel_);
  extIndex_ = IndexNames(extValue_);
  constantIndex_ = IndexValues(constant_);
  colorIndex_ = IndexValues(colors_);
}

std::vector<std::string> NameTables::DefaultColorList() {
  return EmbeddedTableLines(EmbeddedTable::Colors);
}

void NameTables::SetColorList(std::vector<std::string> lines) {
  colors_ = std::move(lines);
  colorIndex_ = IndexValues(colors_);
}

// First position wins, as in a linear scan.
std::unordered_map<std::string, int> NameTables::IndexNames(const std::vector<std::string>& lines) {
  std::unordered_map<std::string, int> index;
  for (std::size_t i = 0; i < lines.size(); ++i) index.try_emplace(FoldName(lines[i]), static_cast<int>(i));
  return index;
}

NameTables::ValueIndex NameTables::IndexValues(const std::vector<std::string>& lines) {
  ValueIndex index;
  for (const std::string& line : lines) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto [it, fresh] = index.try_emplace(FoldName(std::string_view(line).substr(0, eq)));
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

bool NameTables::Find(const ValueIndex& index, const std::string& key, std::int16_t& value) {
  auto it = index.find(key);
  if (it == index.end() || !it->second.hasValue) return false;
  if (!it->second.error.empty()) throw SilentAbort(it->second.error);
  value = it->second.value;
  return true;
}

int NameTables::FunctionId(std::string_view name) const {
  auto it = funcIndex_.find(FoldName(name));
  return it == funcIndex_.end() ? -1 : it->second;
}

int NameTables::ExternalId(std::string_view name) const {
  auto it = extIndex_.find(FoldName(name));
  return it == extIndex_.end() ? -1 : it->second;
}

bool NameTables::ConstantValue(std::string_view name, std::int16_t& value) const {
  std::string key = FoldName(name);
  return Find(constantIndex_, key, value) || Find(colorIndex_, key, value);
}

void NameTables::Bind(TScript& script, std::function<void(const std::string&)> errorLog) const {
  script.OnConstLab = [this](const std::string& name, std::int16_t& dt) { return ConstantValue(name, dt); };
  script.OnExtLabel = [this](const std::string& name) { return ExternalId(name); };
  script.OnExtFunc = [this](const std::string& name) { return FunctionId(name); };
  if (errorLog) {
    script.OnErrorMsg = [log = std::move(errorLog)](int, const std::string& msg) { log(msg); };
  } else {
    script.OnErrorMsg = nullptr;
  }
}

}  // namespace qmt
