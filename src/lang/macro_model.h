// The language engine behind the editors: one macro's text analysed for
// diagnostics, hover, completion, signature help, names (definition,
// references, rename), the outline and semantic colours.
//
// The text is code page 932 with lines ended by CR LF.  Places are a line
// (from 0) and a byte column of that line.  Every text handed out (names,
// messages, Markdown) is UTF-8, ready for an editor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/reference.h"

namespace qmt {
class NameTables;
}

namespace qmt::lang {

struct Span {
  int line = 0;
  int column = 0;  // bytes
  int length = 0;  // bytes, on the same line
  bool operator==(const Span&) const = default;
};

enum class NameKind { kLabel, kEventLabel, kVariable, kConstant, kExternal, kBuiltin, kKeyword, kCommand };

struct Occurrence {
  Span span;
  NameKind kind = NameKind::kVariable;
  std::string name;  // code page 932, as written
  bool definition = false;
};

struct Diagnostic {
  Span span;
  std::string code;     // "undefined-variable"
  std::string message;  // the compiler's text without its line number
  bool fatal = false;
};

struct Hover {
  Span span;
  std::string markdown;
};

struct Completion {
  enum class Kind { kKeyword, kBuiltin, kLabel, kEventLabel, kVariable, kConstant, kExternal, kCommand };
  Kind kind = Kind::kKeyword;
  std::string label;
  std::string detail;
  std::string documentation;  // Markdown
  std::string snippet;        // LSP snippet syntax; empty: insert the label
};

struct Signature {
  std::string label;
  std::vector<std::string> parameters;
  std::string documentation;
  int activeParameter = 0;
};

struct Symbol {
  std::string name;
  Span selection;  // the label's name
  int endLine = 0; // last line of its block
  bool event = false;
};

class MacroModel {
 public:
  // The tables and the reference must outlive the model.
  explicit MacroModel(const NameTables& tables, const Reference& reference = Reference::Builtin());

  void SetText(std::string cp932);
  const std::string& Text() const { return text_; }
  int LineCount() const { return static_cast<int>(lineStarts_.size()); }
  std::string_view Line(int line) const;  // without its line end

  const std::vector<Diagnostic>& Diagnostics() const { return diagnostics_; }
  const std::vector<Occurrence>& Occurrences() const { return occurrences_; }

  std::optional<Hover> HoverAt(int line, int column) const;
  std::vector<Completion> CompleteAt(int line, int column) const;
  std::optional<Signature> SignatureAt(int line, int column) const;

  // The name at a place (the caret may stand just after it), or null.
  const Occurrence* NameAt(int line, int column) const;
  // Where the name at a place is defined: a label's definition, a variable's
  // first assignment.  Nothing for names the document does not define.
  std::optional<Span> Definition(int line, int column) const;
  // Every occurrence of the name at a place (same kind and spelling).
  std::vector<Occurrence> References(int line, int column) const;
  // Whether the name at a place may be renamed, and why not (UTF-8).
  bool CanRename(int line, int column, std::string& why) const;
  // Whether the name at a place may become `newName` (code page 932)
  // without changing what the macro does: the new name must read as one
  // plain name that is no built-in, constant or external value, and must
  // not meet a name of the same kind already there (two variables would
  // become one; a label would be defined twice, or become an event's entry,
  // entries being found ignoring letter case).  Why not, in UTF-8.
  bool CanRenameTo(int line, int column, std::string_view newName, std::string& why) const;

  // The labels in order, each with the lines up to the next label.
  std::vector<Symbol> Symbols() const;

 private:
  struct Token {
    std::uint8_t kind;
    int start, end;  // bytes of text_
    std::string_view text;  // names: the name in text_
  };
  void Compile();
  void Scan();
  Span SpanOf(int start, int length) const;
  int Offset(int line, int column) const;
  int LineOf(int offset) const;
  bool SameName(const Occurrence& a, const Occurrence& b) const;
  std::string EventSource(std::string_view label) const;

  const NameTables& tables_;
  const Reference& reference_;
  std::string text_;
  std::vector<int> lineStarts_;
  std::vector<Token> tokens_;
  std::vector<Occurrence> occurrences_;
  std::vector<Diagnostic> diagnostics_;
};

}  // namespace qmt::lang
