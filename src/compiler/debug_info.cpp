// The debugger's view of a compile: the line table and the names, and
// expressions compiled against them.
#include "compiler/debug_info.h"

#include <algorithm>
#include <set>

#include "compiler/script.h"
#include "support/encoding.h"

namespace qmt {

TDebugInfo TScript::DebugInfo() const {
  TDebugInfo info;
  std::set<std::string_view> called;
  // Where each line starts in the text, for the tokens' columns.
  std::vector<std::size_t> lineStarts{0};
  for (std::size_t i = 0; i < source_.size(); ++i) {
    if (source_[i] == '\n' || (source_[i] == '\r' && (i + 1 >= source_.size() || source_[i + 1] != '\n')))
      lineStarts.push_back(i + 1);
  }
  auto columnOf = [&](const TScrItem& t) {
    if (t.Start < 0 || t.Line < 0 || static_cast<std::size_t>(t.Line) >= lineStarts.size()) return -1;
    const std::size_t start = lineStarts[static_cast<std::size_t>(t.Line)];
    const auto end = static_cast<std::size_t>(t.Start);
    if (end < start || end > source_.size()) return -1;
    int column = 0;
    for (std::size_t i = start; i < end; ++i, ++column)
      if (IsLeadByte(static_cast<std::uint8_t>(source_[i]))) ++i;
    return column;
  };
  for (const TScrItem& t : tokens_) {
    if (t.Kind == tok::kLabel || t.Kind == tok::kLineEnd) continue;
    if (t.Kind == tok::kCall) called.insert(t.Text);
    info.instructions.push_back({static_cast<std::uint16_t>(t.Address), t.Line, columnOf(t)});
  }
  info.statements.reserve(statements_.size());
  for (const auto& [token, line] : statements_) {
    if (token >= static_cast<int>(tokens_.size())) continue;
    info.statements.push_back({static_cast<std::uint16_t>(tokens_[token].Address), line});
  }
  for (const LabelEntry& l : labels_) {
    info.labels.push_back({l.name, l.line, static_cast<std::uint16_t>(tokens_[l.token].Address),
                           called.count(l.name) > 0});
  }
  std::sort(info.labels.begin(), info.labels.end(),
            [](const TDebugInfo::Label& a, const TDebugInfo::Label& b) { return a.address < b.address; });
  for (const VariableEntry& v : variables_) info.variables.push_back({v.name, v.external, v.slot});
  return info;
}

int TDebugInfo::LineOf(std::uint16_t pc) const {
  auto it = std::upper_bound(instructions.begin(), instructions.end(), pc,
                             [](std::uint16_t p, const Instruction& i) { return p < i.pc; });
  if (it == instructions.begin()) return -1;
  return std::prev(it)->line;
}

int TDebugInfo::ColumnOf(std::uint16_t pc) const {
  auto it = std::upper_bound(instructions.begin(), instructions.end(), pc,
                             [](std::uint16_t p, const Instruction& i) { return p < i.pc; });
  if (it == instructions.begin()) return -1;
  const int line = std::prev(it)->line;
  for (; it != instructions.begin() && std::prev(it)->line == line; --it)
    if (std::prev(it)->column >= 0) return std::prev(it)->column;
  return -1;
}

bool TDebugInfo::IsStatement(std::uint16_t pc) const {
  return std::any_of(statements.begin(), statements.end(), [pc](const Statement& s) { return s.pc == pc; });
}

bool TDebugInfo::IsInstruction(std::uint16_t pc) const {
  auto it = std::lower_bound(instructions.begin(), instructions.end(), pc,
                             [](const Instruction& i, std::uint16_t p) { return i.pc < p; });
  return it != instructions.end() && it->pc == pc;
}

std::optional<TDebugInfo::Statement> TDebugInfo::Bind(int line) const {
  auto it = std::lower_bound(statements.begin(), statements.end(), line,
                             [](const Statement& s, int l) { return s.line < l; });
  if (it == statements.end()) return std::nullopt;
  return *it;
}

const TDebugInfo::Label* TDebugInfo::LabelAt(std::uint16_t address) const {
  for (const Label& l : labels)
    if (l.address == address) return &l;
  return nullptr;
}

const TDebugInfo::Label* TDebugInfo::LabelBefore(std::uint16_t pc) const {
  const Label* found = nullptr;
  for (const Label& l : labels) {
    if (l.address > pc) break;
    found = &l;
  }
  return found;
}

const TDebugInfo::Variable* TDebugInfo::Local(std::string_view name) const {
  for (const Variable& v : variables)
    if (!v.external && v.name == name) return &v;
  return nullptr;
}

namespace {

// The message of a compile error without its line number and context.
std::string MessageText(const std::string& message) {
  std::size_t start = message.find_first_of(",:");
  start = start == std::string::npos ? 0 : start + 1;
  std::size_t end = message.find('\r', start);
  return message.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

bool CompileExpression(TScript& script, std::string_view expression, const TDebugInfo& info, TAByte& image,
                       std::string& error) {
  if (expression.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    error = Sjis("式は1行で書く");
    return false;
  }
  if (expression.find_first_not_of(" \t") == std::string_view::npos) {
    error = Sjis("式が空である");
    return false;
  }
  // RET at the top level leaves its value in S[0] and stops.  The macro's
  // locals follow as assignments that never run, so that each name gets the
  // slot it has in the macro: the compiler numbers locals from the last
  // assignment backwards.
  std::vector<const TDebugInfo::Variable*> locals;
  for (const TDebugInfo::Variable& v : info.variables)
    if (!v.external) locals.push_back(&v);
  std::sort(locals.begin(), locals.end(), [](auto* a, auto* b) { return a->slot > b->slot; });
  // RET takes a whole comparison, so no parenthesis of ours shows up in
  // the messages about what the user wrote.
  std::string text = "RET ";
  text.append(expression);
  text += "\r\n";
  int expected = static_cast<int>(locals.size()) - 1;
  for (const TDebugInfo::Variable* v : locals) {
    if (v->slot != expected--) {
      // A gap cannot be rebuilt this way; the macro's table is not one the
      // compiler made.
      error = Sjis("変数表が壊れている");
      return false;
    }
    text += v->name + "=0\r\n";
  }
  std::string firstError;
  auto previous = std::move(script.OnErrorMsg);
  script.OnErrorMsg = [&firstError](int, const std::string& message) {
    if (firstError.empty()) firstError = message;
  };
  struct Restore {
    TScript& s;
    std::function<void(int, const std::string&)>& saved;
    ~Restore() { s.OnErrorMsg = std::move(saved); }
  } restore{script, previous};
  try {
    script.Compile(text);
  } catch (const ScriptAbort& e) {
    error = MessageText(e.what());
    return false;
  } catch (const std::runtime_error& e) {
    // A host's constant whose value does not evaluate.
    error = e.what();
    return false;
  }
  for (const TScrItem& t : script.Tokens()) {
    if (t.Kind == tok::kCall || t.Kind == tok::kFunc) {
      error = Sjis("式の中で関数は呼べない:") + std::string(t.Text);
      return false;
    }
  }
  if (!firstError.empty()) {
    error = MessageText(firstError);
    return false;
  }
  image = script.Code();
  return true;
}

}  // namespace qmt
