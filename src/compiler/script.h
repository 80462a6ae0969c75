// TScript: compiles macro text into a P-code image.  It knows nothing of the
// device; the host answers its events for constants, external values and
// built-in functions, and receives its error messages.
//
// Three stages: the statement reader turns the text into a postfix token
// list, constant folding shortens it, the generator resolves names and
// labels and writes the image.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "compiler/debug_info.h"
#include "compiler/lexer.h"
#include "compiler/pcode.h"

namespace qmt {

// What a compiler message is about, one code per message text.
enum class MessageCode {
  kUndefinedChar,      // fatal: a byte that starts no token
  kParenNotClosed,     // fatal: ")" expected, found args[0]
  kCallNotClosed,      // fatal: call args[0] not closed by ")"
  kStrayArgument,      // fatal: call args[0] has args[1] among its arguments
  kArgumentAlone,      // fatal: "@" or "@n" without "="
  kJumpNotLabel,       // fatal: GOSUB/GOTO followed by args[0]
  kNameAlone,          // fatal: name args[0] not followed by "=" or ":"
  kNotHere,            // fatal: args[0] may not stand here
  kTooDeep,            // fatal: nesting too deep
  kDivideByZero,       // fatal: constant division by zero
  kDuplicateLabel,     // label args[0] already defined on line args[1]
  kUndefinedVariable,  // args[0]
  kUndefinedLabel,     // args[0]
  kTooManyVariables,   // args[0] is the 257th
  kExternalId,         // external value args[0] numbered above 255
  kFunctionId,         // built-in args[0] numbered above 65535
  kTooManyArguments,   // call args[0] with more than 255 arguments
  kArgumentNumber,     // "@n" with n above 255
  kTooLarge,           // the P-code passes 65536 bytes
};

// A short stable name for a code ("undefined-variable"), for editors.
const char* MessageCodeName(MessageCode code);

// One compiler message as data.  `text` is exactly what OnErrorMsg receives
// or what ScriptAbort::what() says.  The place is the token the message is
// about: `offset` and `length` in bytes of the compiled text, `column` the
// byte offset from the start of its line (after the last CR or LF); offset
// is -1 when no token is known.  `line` is the printed line number.
struct ScriptMessage {
  MessageCode code = MessageCode::kNotHere;
  bool fatal = false;
  int line = 0;
  int offset = -1;
  int column = 0;
  int length = 0;
  std::vector<std::string> args;  // names and tokens, code page 932
  std::string text;
};

// The abort error: raised by Compile for a fatal error, and for the first
// reported error when nobody listens to OnErrorMsg or OnMessage.  what() is
// the message in code page 932 ("%3d,%s", CR LF, context for fatal errors;
// "%3d:%s" for reported ones).
class ScriptAbort : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  explicit ScriptAbort(ScriptMessage message)
      : std::runtime_error(message.text), message_(std::move(message)) {}
  // The message as data; its text is empty for an abort raised by others.
  const ScriptMessage& Message() const { return message_; }

 private:
  ScriptMessage message_;
};

class TScript {
 public:
  // The tokens view the script's own copy of the text, so a script is not
  // copied.
  TScript() = default;
  TScript(const TScript&) = delete;
  TScript& operator=(const TScript&) = delete;
  // Events.  An unassigned event answers as if the name were unknown
  // (OnConstLab false, OnExtLabel and OnExtFunc -1); an unassigned
  // OnErrorMsg turns the first reported error into a ScriptAbort.
  std::function<bool(std::string_view name, std::int16_t& dt)> OnConstLab;
  std::function<int(std::string_view name)> OnExtLabel;
  std::function<int(std::string_view name)> OnExtFunc;
  std::function<void(int lno, const std::string& msg)> OnErrorMsg;
  // Every reported (non-fatal) message as data, before OnErrorMsg.
  std::function<void(const ScriptMessage& message)> OnMessage;
  // Carried for the host's use; the compiler never calls them.
  std::function<std::int16_t(std::uint16_t id)> OnGetExt;
  std::function<void(std::uint16_t id, std::int16_t dt)> OnPutExt;
  std::function<std::int16_t(std::uint16_t id, std::span<const std::int16_t> dt)> OnFunc;

  // Compiles `text` (code page 932, lines ended by CR LF).  Returns normally
  // when no fatal error occurred, even if errors were reported through
  // OnErrorMsg (then the image must not be run).  Raises ScriptAbort
  // otherwise; the image is then still that of the previous compile.
  // Exceptions raised by the events pass through unchanged.
  void Compile(std::string_view text);

  const TAByte& Code() const { return image_; }
  const std::string& Source() const { return source_; }
  const TAScrItem& Tokens() const { return tokens_; }

  // "name=address" per label definition, in token order.
  void ListLabels(std::vector<std::string>& list) const;
  // The same entries as (name, address) pairs: the address is the entry's
  // attached number.
  std::vector<std::pair<std::string, int>> LabelAddresses() const;
  // "name=slot" per local variable, in the variable table's order.
  void ListVariables(std::vector<std::string>& list) const;
  // The program listing of the last compile, one line per instruction and
  // per label definition.
  void ListCode(std::vector<std::string>& list) const;
  // The line table and the names of the last compile, for the debugger.
  TDebugInfo DebugInfo() const;

 private:
  struct LabelEntry {
    std::string name;
    int line;
    int token;  // index of the definition in the token list
  };
  struct VariableEntry {
    std::string name;
    bool external;
    int slot;  // slot, or external id
  };

  // Stage 1, statement reader (script.cpp).
  void ReadProgram();
  void Statement();
  void Comparison();
  void Additive();
  void Term();
  void Factor();
  void Primary();
  void CallExpression();
  void Next();
  // Appends a token to the postfix list, folding "number number op" at once.
  void Emit(const TScrItem& item) {
    tokens_.push_back(item);
    if (IsFoldable(item.Kind)) FoldLast();
  }
  void Emit(TScrItem&& item) {
    tokens_.push_back(std::move(item));
    if (IsFoldable(tokens_.back().Kind)) FoldLast();
  }
  static bool IsFoldable(std::uint8_t kind) {
    return kind == '*' || kind == '+' || kind == '-' || kind == '/';
  }
  [[noreturn]] void Fatal(MessageCode code, std::vector<std::string> args, const std::string& text) const;
  [[noreturn]] void Fatal(MessageCode code, std::vector<std::string> args, const std::string& text,
                          const TScrItem& at) const;
  // The message's place: the token `at` in the text.
  void Place(ScriptMessage& message, const TScrItem* at, std::size_t end) const;
  [[noreturn]] void MissingOperand();

  // Stage 2 and 3 (generator.cpp).
  void FoldLast();
  [[noreturn]] void FoldError() const;
  TAByte Generate();
  void Report(const TScrItem& at, MessageCode code, std::vector<std::string> args, const std::string& text);
  void ReportTooLarge();
  int LookupExtLabel(std::string_view name) const;
  int LookupExtFunc(std::string_view name) const;

  std::string source_;
  std::string strings_;  // the decoded string literals the tokens view
  TAByte image_;
  TAScrItem tokens_;
  std::vector<LabelEntry> labels_;
  std::vector<VariableEntry> variables_;
  // Where each statement that writes code begins: its first token and the
  // line it starts on (a call's arguments may continue on later lines).
  std::vector<std::pair<int, int>> statements_;
  // FNV-1a: names are short, and this beats the library's general hash.
  struct NameHash {
    std::size_t operator()(std::string_view name) const {
      std::uint64_t h = 14695981039346656037ull;
      for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
      return static_cast<std::size_t>(h);
    }
  };
  // Keyed by views into the text, valid until the next compile.
  std::unordered_map<std::string_view, int, NameHash> labelIndex_;     // name -> first entry
  std::unordered_map<std::string_view, int, NameHash> variableIndex_;  // name -> entry

  // Reader state, valid during Compile.
  Lexer* lexer_ = nullptr;
  int depth_ = 0;
  // The argument lists (call name) and parentheses (empty name) around the
  // expression being read, innermost last.
  struct Enclosing {
    bool call;
    std::string_view name;
  };
  std::vector<Enclosing> enclosing_;
  int divideByZeroLine_ = -1;  // line of the first constant division by zero
  TScrItem divideByZeroAt_;     // and its operator
  std::vector<int> scratchNames_, scratchPatches_;  // the generator's notes
};

}  // namespace qmt
