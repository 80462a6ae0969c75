// The model's help while typing: hover, completion and signature help.
#include <algorithm>
#include <cctype>
#include <set>

#include "compiler/lexer.h"
#include "host/name_tables.h"
#include "host/simulator.h"
#include "lang/macro_model.h"
#include "support/encoding.h"

namespace qmt::lang {
namespace {

const char* const kKeywords[] = {"GOSUB", "GOTO", "IF", "THEN", "EXIT", "RET", "DO", "WHILE", "AND", "OR", "XOR"};

std::string NameOf(const std::string& line) {
  std::size_t eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(0, eq);
}

std::string Snippet(const std::string& name, const std::vector<std::string>& params) {
  std::string s = name + "(";
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (i) s += ", ";
    std::string p = params[i];
    // Snippet syntax reserves $, } and backslash.
    std::string escaped;
    for (char c : p) {
      if (c == '$' || c == '}' || c == '\\') escaped += '\\';
      escaped += c;
    }
    s += "${" + std::to_string(i + 1) + ":" + escaped + "}";
  }
  return s + ")";
}

bool IsWordByte(unsigned char c) { return c == '_' || std::isalnum(c) || c >= 0x80; }

}  // namespace

std::optional<Hover> MacroModel::HoverAt(int line, int column) const {
  const Occurrence* o = NameAt(line, column);
  if (!o) return std::nullopt;
  Hover h;
  h.span = o->span;
  const std::string name = Cp932ToUtf8(o->name);
  switch (o->kind) {
    case NameKind::kBuiltin:
    case NameKind::kKeyword:
      if (const ReferenceEntry* e = reference_.Word(name)) h.markdown = e->text;
      else h.markdown = "`" + name + "`";
      break;
    case NameKind::kCommand:
      if (const ReferenceEntry* e = reference_.Command(name)) h.markdown = e->text;
      else return std::nullopt;
      break;
    case NameKind::kConstant: {
      std::int16_t v = 0;
      try {
        if (tables_.ConstantValue(o->name, v)) {
          char hex[16];
          std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<std::uint16_t>(v)));
          h.markdown = "定数 `" + name + "` = " + std::to_string(v) + " (" + hex + ")";
        }
      } catch (const std::exception& e) {
        h.markdown = "定数 `" + name + "`: " + Cp932ToUtf8(e.what());
      }
      break;
    }
    case NameKind::kExternal: {
      h.markdown = "外部変数 `" + name + "` (番号 " + std::to_string(tables_.ExternalId(o->name)) + ")";
      const std::string note = reference_.Note(name);
      if (!note.empty()) h.markdown += "\n\n" + note;
      break;
    }
    case NameKind::kLabel:
    case NameKind::kEventLabel: {
      h.markdown = "ラベル `" + name + "`";
      for (const Occurrence& d : occurrences_)
        if (d.definition && d.name == o->name) {
          h.markdown += " (" + std::to_string(d.span.line + 1) + " 行)";
          break;
        }
      if (o->kind == NameKind::kEventLabel) h.markdown += "\n\nイベント: " + EventSource(o->name);
      break;
    }
    case NameKind::kVariable:
      h.markdown = "変数 `" + name + "`";
      break;
  }
  return h;
}

std::vector<Completion> MacroModel::CompleteAt(int line, int column) const {
  std::vector<Completion> out;
  const std::string_view text = Line(line);
  column = std::clamp(column, 0, static_cast<int>(text.size()));
  const std::string_view before = text.substr(0, column);

  // Inside the template of d("..."): the commands, while the mnemonic is
  // being typed.
  {
    std::size_t quote = before.rfind('"');
    if (quote != std::string_view::npos && std::count(before.begin(), before.end(), '"') % 2 == 1 &&
        column - static_cast<int>(quote) <= 3) {
      std::string_view head = before.substr(0, quote);
      while (!head.empty() && head.back() == ' ') head.remove_suffix(1);
      if (!head.empty() && head.back() == '(') {
        head.remove_suffix(1);
        while (!head.empty() && head.back() == ' ') head.remove_suffix(1);
        if (!head.empty() && (head.back() == 'd' || head.back() == 'D') &&
            (head.size() == 1 || !IsWordByte(static_cast<unsigned char>(head[head.size() - 2])))) {
          for (const auto& [key, e] : reference_.Commands())
            out.push_back({Completion::Kind::kCommand, key, e.signature, e.text, {}});
          return out;
        }
      }
      return out;  // other strings: nothing
    }
  }

  std::set<std::string> labels, variables;
  for (const Occurrence& o : occurrences_) {
    if ((o.kind == NameKind::kLabel || o.kind == NameKind::kEventLabel) && o.definition)
      labels.insert(Cp932ToUtf8(o.name));
    if (o.kind == NameKind::kVariable && o.definition) variables.insert(Cp932ToUtf8(o.name));
  }
  auto addLabels = [&] {
    for (const std::string& l : labels) out.push_back({Completion::Kind::kLabel, l, "ラベル", {}, {}});
  };

  // After GOSUB or GOTO: the labels.
  std::string_view word = before;
  while (!word.empty() && IsWordByte(static_cast<unsigned char>(word.back()))) word.remove_suffix(1);
  std::string_view rest = word;
  while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
  std::string last;
  for (std::size_t i = rest.size(); i > 0 && std::isalpha(static_cast<unsigned char>(rest[i - 1])); --i)
    last.insert(last.begin(), static_cast<char>(std::toupper(static_cast<unsigned char>(rest[i - 1]))));
  if (rest.size() < word.size() && (last == "GOSUB" || last == "GOTO")) {
    addLabels();
    return out;
  }

  for (const char* k : kKeywords) {
    const ReferenceEntry* e = reference_.Word(k);
    out.push_back({Completion::Kind::kKeyword, k, "キーワード", e ? e->text : std::string(), {}});
  }
  for (const std::string& f : tables_.FuncLabel()) {
    const std::string name = Cp932ToUtf8(f);
    if (name.empty()) continue;
    const ReferenceEntry* e = reference_.Word(name);
    const std::string sig = e && !e->signature.empty() ? e->signature : name + "()";
    out.push_back({Completion::Kind::kBuiltin, name, sig, e ? e->text : std::string(),
                   Snippet(name, SignatureParameters(sig))});
  }
  std::set<std::string> seen;
  for (const auto* table : {&tables_.Constant(), &tables_.ColorList()})
    for (const std::string& l : *table) {
      std::string n = NameOf(l);
      while (!n.empty() && n.back() == ' ') n.pop_back();
      if (n.empty() || !seen.insert(n).second) continue;
      std::int16_t v = 0;
      std::string detail = table == &tables_.Constant() ? "定数" : "色";
      try {
        if (tables_.ConstantValue(n, v)) detail += " = " + std::to_string(v);
      } catch (const std::exception&) {
      }
      out.push_back({Completion::Kind::kConstant, Cp932ToUtf8(n), detail, {}, {}});
    }
  for (const std::string& x : tables_.ExtValue()) {
    // An unused slot of the table is a line of spaces.
    if (x.find_first_not_of(' ') == std::string::npos) continue;
    const std::string name = Cp932ToUtf8(x);
    out.push_back({Completion::Kind::kExternal, name, "外部変数", reference_.Note(name), {}});
  }
  addLabels();
  // Event labels not yet in the macro, to start one.
  for (const EventLabelInfo& e : EventLabels()) {
    const std::string name = Cp932ToUtf8(e.label);
    if (!labels.count(name)) out.push_back({Completion::Kind::kEventLabel, name, e.source, {}, name + ":"});
  }
  for (const std::string& v : variables) out.push_back({Completion::Kind::kVariable, v, "変数", {}, {}});
  return out;
}

std::optional<Signature> MacroModel::SignatureAt(int line, int column) const {
  const int offset = Offset(line, column);
  struct Open {
    bool call;
    std::string_view name;
    int commas;
  };
  std::vector<Open> open;
  for (const Token& t : tokens_) {
    if (t.start >= offset) break;
    if (t.kind == tok::kCall) {
      // The call's "(" is part of the token: the caret must be past it.
      if (t.end <= offset) open.push_back({true, t.text, 0});
    } else if (t.kind == '(') {
      open.push_back({false, {}, 0});
    } else if (t.kind == ')') {
      if (!open.empty()) open.pop_back();
    } else if (t.kind == ',') {
      if (!open.empty()) ++open.back().commas;
    } else if (t.kind == tok::kLineEnd && !open.empty() && !open.back().call) {
      open.clear();  // a parenthesis never spans lines
    }
  }
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    if (!it->call) continue;
    if (tables_.FunctionId(it->name) < 0) return std::nullopt;
    const std::string name = Cp932ToUtf8(it->name);
    const ReferenceEntry* e = reference_.Word(name);
    Signature s;
    s.label = e && !e->signature.empty() ? e->signature : name + "()";
    s.parameters = SignatureParameters(s.label);
    s.documentation = e ? e->text : std::string();
    s.activeParameter = it->commas;
    return s;
  }
  return std::nullopt;
}

}  // namespace qmt::lang
