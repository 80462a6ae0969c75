// The model's analysis: the compile for diagnostics, and a scan of the
// tokens for the names and where they stand.
#include "lang/macro_model.h"

#include <algorithm>
#include <set>

#include "compiler/lexer.h"
#include "compiler/script.h"
#include "host/name_tables.h"
#include "host/simulator.h"
#include "support/encoding.h"
#include "support/name_case.h"

namespace qmt::lang {
namespace {

bool IsKeyword(std::uint8_t k) {
  switch (k) {
    case tok::kGosub: case tok::kGoto: case tok::kIf: case tok::kThen: case tok::kExit:
    case tok::kRet: case tok::kDo: case tok::kWhile: case tok::kAnd: case tok::kOr: case tok::kXor:
      return true;
    default:
      return false;
  }
}

bool IsD(std::string_view name) { return name == "d" || name == "D"; }

// The message without its line number and, for fatal ones, the context.
std::string MessageBody(const std::string& text) {
  std::size_t from = text.find_first_of(",:");
  from = from == std::string::npos ? 0 : from + 1;
  std::size_t to = text.find('\r', from);
  return Cp932ToUtf8(std::string_view(text).substr(from, to == std::string::npos ? std::string::npos : to - from));
}

}  // namespace

MacroModel::MacroModel(const NameTables& tables, const Reference& reference)
    : tables_(tables), reference_(reference) {
  SetText({});
}

void MacroModel::SetText(std::string cp932) {
  text_ = std::move(cp932);
  lineStarts_.assign(1, 0);
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
    if (text_[i] == '\r' || text_[i] == '\n') lineStarts_.push_back(static_cast<int>(i + 1));
  }
  Scan();
  Compile();
}

std::string_view MacroModel::Line(int line) const {
  if (line < 0 || line >= LineCount()) return {};
  std::size_t from = lineStarts_[line];
  std::size_t to = line + 1 < LineCount() ? lineStarts_[line + 1] : text_.size();
  std::string_view s = std::string_view(text_).substr(from, to - from);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int MacroModel::LineOf(int offset) const {
  auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  return static_cast<int>(it - lineStarts_.begin()) - 1;
}

Span MacroModel::SpanOf(int start, int length) const {
  Span s;
  s.line = std::max(0, LineOf(start));
  s.column = start - lineStarts_[s.line];
  // A span never runs past its line.
  s.length = std::clamp(length, 0, static_cast<int>(Line(s.line).size()) - s.column);
  s.length = std::max(s.length, 0);
  return s;
}

int MacroModel::Offset(int line, int column) const {
  if (line < 0) return 0;
  if (line >= LineCount()) return static_cast<int>(text_.size());
  return lineStarts_[line] + std::clamp(column, 0, static_cast<int>(Line(line).size()));
}

void MacroModel::Compile() {
  diagnostics_.clear();
  TScript script;
  tables_.Bind(script, [](const std::string&) {});
  auto add = [this](const ScriptMessage& m) {
    Diagnostic d;
    d.code = MessageCodeName(m.code);
    d.message = MessageBody(m.text);
    d.fatal = m.fatal;
    if (m.offset >= 0) {
      d.span = SpanOf(m.offset, m.length);
    } else {
      d.span.line = std::clamp(m.line, 0, LineCount() - 1);
    }
    diagnostics_.push_back(std::move(d));
  };
  script.OnMessage = add;
  try {
    script.Compile(text_);
  } catch (const ScriptAbort& e) {
    if (!e.Message().text.empty()) {
      add(e.Message());
    } else {
      diagnostics_.push_back({{}, "abort", MessageBody(std::string(":") + e.what()), true});
    }
  } catch (const std::exception& e) {
    // A table value that does not evaluate, say: still a message, never a
    // dead editor.
    diagnostics_.push_back({{}, "table", Cp932ToUtf8(e.what()), true});
  }
}

void MacroModel::Scan() {
  tokens_.clear();
  occurrences_.clear();
  // Events find their entry labels ignoring letter case: "onrun:" is the
  // key's entry as much as "onRUN:" is.
  std::set<std::string, std::less<>> events;
  for (const EventLabelInfo& e : EventLabels()) events.insert(FoldName(e.label));

  std::string strings;
  Lexer lexer(text_, &strings);
  bool lineStart = true;
  for (;;) {
    try {
      lexer.NextToken();
    } catch (const LexError& e) {
      lexer.SkipRawByte();
      lineStart = false;
      continue;
    }
    const TScrItem& t = lexer.Current();
    if (t.Kind == tok::kEof) break;
    Token k{t.Kind, t.Start, static_cast<int>(lexer.Position()), {}};
    const bool name = t.Kind == tok::kIdent || t.Kind == tok::kCall;
    if (name) {
      k.text = t.Text;
      k.start = static_cast<int>(t.Text.data() - text_.data());
      k.end = k.start + static_cast<int>(t.Text.size());
    }
    const Token* prev = tokens_.empty() ? nullptr : &tokens_.back();
    Occurrence o;
    o.name = std::string(k.text);
    o.span = SpanOf(k.start, k.end - k.start);
    if (t.Kind == tok::kIdent && lineStart && lexer.RawByte() == ':') {
      o.kind = events.count(FoldName(o.name)) ? NameKind::kEventLabel : NameKind::kLabel;
      o.definition = true;
      occurrences_.push_back(o);
    } else if (name && prev && (prev->kind == tok::kGoto || prev->kind == tok::kGosub)) {
      o.kind = events.count(FoldName(o.name)) ? NameKind::kEventLabel : NameKind::kLabel;
      occurrences_.push_back(o);
    } else if (t.Kind == tok::kCall) {
      o.kind = tables_.FunctionId(k.text) >= 0 ? NameKind::kBuiltin
               : events.count(FoldName(o.name)) ? NameKind::kEventLabel
                                               : NameKind::kLabel;
      occurrences_.push_back(o);
    } else if (t.Kind == tok::kIdent) {
      std::int16_t value = 0;
      bool constant = false;
      try {
        constant = tables_.ConstantValue(k.text, value);
      } catch (const std::exception&) {
        constant = true;  // a constant whose value is broken is still one
      }
      o.kind = constant ? NameKind::kConstant
               : tables_.ExternalId(k.text) >= 0 ? NameKind::kExternal
                                                 : NameKind::kVariable;
      occurrences_.push_back(o);
    } else if (IsKeyword(t.Kind)) {
      o.kind = NameKind::kKeyword;
      o.name = text_.substr(k.start, k.end - k.start);
      occurrences_.push_back(o);
    } else if (t.Kind == tok::kStr && prev && prev->kind == tok::kCall && IsD(prev->text)) {
      // The template of d("..."): its mnemonic.
      const std::size_t at = static_cast<std::size_t>(k.start) + 1;
      if (at + 1 < text_.size() && std::isupper(static_cast<unsigned char>(text_[at])) &&
          std::isupper(static_cast<unsigned char>(text_[at + 1]))) {
        o.kind = NameKind::kCommand;
        o.name = text_.substr(at, 2);
        o.span = SpanOf(static_cast<int>(at), 2);
        occurrences_.push_back(o);
      }
    } else if (t.Kind == '=' && prev && prev->kind == tok::kIdent && !occurrences_.empty() &&
               occurrences_.back().kind == NameKind::kVariable) {
      occurrences_.back().definition = true;  // an assignment
    }
    lineStart = t.Kind == tok::kLineEnd;
    tokens_.push_back(k);
  }
}

const Occurrence* MacroModel::NameAt(int line, int column) const {
  // Occurrences are in text order.
  auto it = std::lower_bound(occurrences_.begin(), occurrences_.end(), line,
                             [](const Occurrence& o, int l) { return o.span.line < l; });
  for (; it != occurrences_.end() && it->span.line == line; ++it)
    if (column >= it->span.column && column <= it->span.column + it->span.length) return &*it;
  return nullptr;
}

bool MacroModel::SameName(const Occurrence& a, const Occurrence& b) const {
  auto group = [](NameKind k) { return k == NameKind::kEventLabel ? NameKind::kLabel : k; };
  if (group(a.kind) != group(b.kind)) return false;
  // Labels and variables are told apart by their exact spelling, as the
  // compiler does; built-ins, constants and keywords ignore letter case.
  if (a.kind == NameKind::kLabel || a.kind == NameKind::kEventLabel || a.kind == NameKind::kVariable ||
      a.kind == NameKind::kCommand)
    return a.name == b.name;
  return a.name.size() == b.name.size() &&
         std::equal(a.name.begin(), a.name.end(), b.name.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<Span> MacroModel::Definition(int line, int column) const {
  const Occurrence* at = NameAt(line, column);
  if (!at) return std::nullopt;
  for (const Occurrence& o : occurrences_)
    if (o.definition && SameName(o, *at)) return o.span;
  return std::nullopt;
}

std::vector<Occurrence> MacroModel::References(int line, int column) const {
  std::vector<Occurrence> out;
  const Occurrence* at = NameAt(line, column);
  if (!at) return out;
  for (const Occurrence& o : occurrences_)
    if (SameName(o, *at)) out.push_back(o);
  return out;
}

bool MacroModel::CanRename(int line, int column, std::string& why) const {
  const Occurrence* at = NameAt(line, column);
  if (!at) {
    why = "no name here";
    return false;
  }
  switch (at->kind) {
    case NameKind::kLabel:
    case NameKind::kVariable:
      return true;
    case NameKind::kEventLabel:
      why = "an event label is named by the simulator";
      return false;
    case NameKind::kConstant:
      why = "constants and colours are defined in the constant and colour tables, not in the macro";
      return false;
    default:
      why = "only labels and variables can be renamed";
      return false;
  }
}

bool MacroModel::CanRenameTo(int line, int column, std::string_view newName, std::string& why) const {
  if (!CanRename(line, column, why)) return false;
  const Occurrence& at = *NameAt(line, column);
  const std::string shown = Cp932ToUtf8(newName);
  // The new name must read back as one plain name.
  bool plain = false;
  try {
    const std::string text(newName);
    std::string strings;
    Lexer lexer(text, &strings);
    lexer.NextToken();
    plain = lexer.Current().Kind == tok::kIdent && lexer.Current().Text == newName;
  } catch (const LexError&) {
  }
  if (!plain) {
    why = "not a name: " + shown;
    return false;
  }
  bool taken = tables_.FunctionId(newName) >= 0 || tables_.ExternalId(newName) >= 0;
  try {
    std::int16_t value = 0;
    taken = taken || tables_.ConstantValue(newName, value);
  } catch (const std::exception&) {
    taken = true;
  }
  if (taken) {
    why = shown + " is a built-in, constant or external value";
    return false;
  }
  if (newName == at.name) return true;
  if (at.kind == NameKind::kLabel) {
    for (const EventLabelInfo& e : EventLabels())
      if (qmt::SameName(e.label, newName)) {
        why = shown + " is the event label " + Cp932ToUtf8(e.label) + ": the subroutine would run on " + e.source;
        return false;
      }
    for (const Occurrence& o : occurrences_) {
      if (o.kind != NameKind::kLabel && o.kind != NameKind::kEventLabel) continue;
      if (o.name == at.name) continue;  // the label being renamed
      if (!qmt::SameName(o.name, newName)) continue;
      why = "the label " + Cp932ToUtf8(o.name) + " is already used (line " + std::to_string(o.span.line + 1) + ")" +
            (o.name == newName ? "" : "; labels are found ignoring letter case");
      return false;
    }
    return true;
  }
  // A variable: names are told apart by their exact spelling.
  for (const Occurrence& o : occurrences_)
    if (o.kind == NameKind::kVariable && o.name == newName) {
      why = "the variable " + shown + " is already used (line " + std::to_string(o.span.line + 1) +
            "): the two would become one";
      return false;
    }
  return true;
}

std::vector<Symbol> MacroModel::Symbols() const {
  std::vector<Symbol> out;
  for (const Occurrence& o : occurrences_) {
    if (!o.definition || (o.kind != NameKind::kLabel && o.kind != NameKind::kEventLabel)) continue;
    if (!out.empty()) out.back().endLine = std::max(out.back().selection.line, o.span.line - 1);
    out.push_back({Cp932ToUtf8(o.name), o.span, o.span.line, o.kind == NameKind::kEventLabel});
  }
  if (!out.empty()) {
    int last = LineCount() - 1;
    while (last > out.back().selection.line && Line(last).empty()) --last;
    out.back().endLine = last;
  }
  return out;
}

std::string MacroModel::EventSource(std::string_view label) const {
  for (const EventLabelInfo& e : EventLabels())
    if (e.label == label) return e.source;
  return {};
}

}  // namespace qmt::lang
