// TScript: the compile driver and the statement reader (stage 1), which
// turns the token stream into a postfix token list.
#include "compiler/script.h"

#include <algorithm>
#include <cstdio>

#include "support/encoding.h"

namespace qmt {
namespace {

// Parentheses and calls may nest this deep; deeper text is refused rather
// than risking the stack.
constexpr int kMaxNesting = 256;

struct Messages {
  std::string notClosed1 = Sjis(")じゃなくて");
  std::string notClosed2 = Sjis("を見つけた");
  std::string function = Sjis("関数");
  std::string callOpen = Sjis("が)で閉じていない");
  std::string argument1 = Sjis("の引数に");
  std::string argument2 = Sjis("がある");
  std::string atAlone = Sjis("が単独である");
  std::string gotoLabel1 = Sjis("GOSUB/GOTO の後に");
  std::string gotoLabel2 = Sjis("でラベルでない");
  std::string labelAlone1 = Sjis("ラベル(");
  std::string labelAlone2 = Sjis(")が単独である");
  std::string notHere1 = Sjis("ここに");
  std::string notHere2 = Sjis("を書いてはいけない");
  std::string tooDeep = Sjis("括弧と関数呼び出しの入れ子が深すぎる");
};
const Messages& Msg() {
  static const Messages m;
  return m;
}

bool IsComparison(std::uint8_t k) {
  return k == '<' || k == '>' || k == tok::kEq || k == tok::kGe || k == tok::kLe;
}
bool IsAdditive(std::uint8_t k) {
  return k == tok::kAnd || k == '+' || k == '-' || k == tok::kXor || k == tok::kOr;
}

}  // namespace

namespace {

// The last message's place and the start of its line (reset by each
// compile): messages on one line, in either order, find its start without
// walking the line again, so a long line with many of them costs one walk.
struct LastPlace {
  const TScript* script = nullptr;
  std::size_t at = 0, lineStart = 0;
};
thread_local LastPlace lastPlace;

}  // namespace

void TScript::Compile(std::string_view text) {
  // The indexes' keys are views into the old text: they go first.
  labelIndex_.clear();
  variableIndex_.clear();
  tokens_.clear();
  labels_.clear();
  variables_.clear();
  statements_.clear();
  lastPlace = {};
  source_.assign(text);
  tokens_.reserve(text.size() / 3 + 16);

  Lexer lexer(source_, &strings_);
  lexer_ = &lexer;
  depth_ = 0;
  enclosing_.clear();
  divideByZeroLine_ = -1;
  struct Reset {
    Lexer*& p;
    ~Reset() { p = nullptr; }
  } reset{lexer_};

  ReadProgram();
  if (divideByZeroLine_ >= 0) FoldError();
  image_ = Generate();
}

const char* MessageCodeName(MessageCode code) {
  switch (code) {
    case MessageCode::kUndefinedChar: return "undefined-char";
    case MessageCode::kParenNotClosed: return "paren-not-closed";
    case MessageCode::kCallNotClosed: return "call-not-closed";
    case MessageCode::kStrayArgument: return "stray-argument";
    case MessageCode::kArgumentAlone: return "argument-alone";
    case MessageCode::kJumpNotLabel: return "jump-not-label";
    case MessageCode::kNameAlone: return "name-alone";
    case MessageCode::kNotHere: return "not-here";
    case MessageCode::kTooDeep: return "too-deep";
    case MessageCode::kDivideByZero: return "divide-by-zero";
    case MessageCode::kDuplicateLabel: return "duplicate-label";
    case MessageCode::kUndefinedVariable: return "undefined-variable";
    case MessageCode::kUndefinedLabel: return "undefined-label";
    case MessageCode::kTooManyVariables: return "too-many-variables";
    case MessageCode::kExternalId: return "external-id";
    case MessageCode::kFunctionId: return "function-id";
    case MessageCode::kTooManyArguments: return "too-many-arguments";
    case MessageCode::kArgumentNumber: return "argument-number";
    case MessageCode::kTooLarge: return "too-large";
  }
  return "message";
}

void TScript::Place(ScriptMessage& message, const TScrItem* at, std::size_t end) const {
  message.offset = -1;
  message.column = 0;
  message.length = 0;
  if (!at) return;
  const char* base = source_.data();
  if (!at->Text.empty() && at->Text.data() >= base && at->Text.data() + at->Text.size() <= base + source_.size()) {
    message.offset = static_cast<int>(at->Text.data() - base);
    message.length = static_cast<int>(at->Text.size());
  } else if (at->Start >= 0 && static_cast<std::size_t>(at->Start) <= source_.size()) {
    message.offset = at->Start;
    message.length = end > static_cast<std::size_t>(at->Start) ? static_cast<int>(end - at->Start) : 1;
    message.length = std::min(message.length, static_cast<int>(source_.size()) - at->Start);
  } else {
    return;
  }
  const auto offset = static_cast<std::size_t>(message.offset);
  std::size_t lineStart = offset;
  if (lastPlace.script == this && offset >= lastPlace.lineStart && offset <= lastPlace.at) {
    lineStart = lastPlace.lineStart;  // on the last place's line, before it
  } else if (lastPlace.script == this && offset > lastPlace.at) {
    // After the last place: its line start holds unless a line ends between.
    lineStart = lastPlace.lineStart;
    for (std::size_t i = lastPlace.at; i < offset; ++i)
      if (base[i] == '\r' || base[i] == '\n') lineStart = i + 1;
  } else {
    while (lineStart > 0 && base[lineStart - 1] != '\r' && base[lineStart - 1] != '\n') --lineStart;
  }
  lastPlace = {this, offset, lineStart};
  message.column = static_cast<int>(offset - lineStart);
}

[[noreturn]] void TScript::Fatal(MessageCode code, std::vector<std::string> args, const std::string& text) const {
  Fatal(code, std::move(args), text, lexer_->Current());
}

[[noreturn]] void TScript::Fatal(MessageCode code, std::vector<std::string> args, const std::string& text,
                                 const TScrItem& at) const {
  char head[24];
  std::snprintf(head, sizeof head, "%3d,", lexer_->Line());
  std::string message = head + text + "\r\n";
  // Context: the rest of the source, cut before the second CR among its
  // first 200 characters.
  std::string_view rest = lexer_->Text().substr(lexer_->Position());
  std::size_t cut = rest.size();
  int crs = 0;
  for (std::size_t i = 0; i < rest.size() && i < 200; ++i) {
    if (rest[i] == '\r' && ++crs == 2) {
      cut = i;
      break;
    }
  }
  message.append(rest.substr(0, cut));
  ScriptMessage m;
  m.code = code;
  m.fatal = true;
  m.line = lexer_->Line();
  m.args = std::move(args);
  m.text = std::move(message);
  Place(m, &at, &at == &lexer_->Current() ? lexer_->Position() : 0);
  throw ScriptAbort(std::move(m));
}

void TScript::Next() {
  try {
    lexer_->NextToken();
  } catch (const LexError& e) {
    TScrItem at;
    at.Start = static_cast<std::int32_t>(e.offset);
    Fatal(MessageCode::kUndefinedChar, {e.text.substr(0, 1)}, e.text, at);
  }
}

// program -> { [label ":"] { statement } statement-ending-the-line } EOF
void TScript::ReadProgram() {
  TScrItem& t = lexer_->Current();
  Next();
  while (t.Kind != tok::kEof) {
    if (t.Kind == tok::kIdent && lexer_->RawByte() == ':') {
      t.Kind = tok::kLabel;
      Emit(std::move(t));
      lexer_->SkipRawByte();
      Next();
    }
    while (t.Kind != tok::kLineEnd && t.Kind != tok::kEof) {
      const int first = static_cast<int>(tokens_.size());
      const int line = t.Line;
      Statement();
      if (static_cast<int>(tokens_.size()) > first) statements_.emplace_back(first, line);
    }
    Statement();  // the line end, or the error for text without one
  }
  TScrItem last;
  last.Kind = tok::kLineEnd;
  last.Line = lexer_->Line() + 1;
  Emit(std::move(last));
}

// statement -> LF | EXIT | ":" | ";" | "@" number "=" expr | DO expr
//            | RET expr | WHILE expr | (GOTO|GOSUB) name | IF expr [THEN]
//            | call | name "=" expr
void TScript::Statement() {
  TScrItem& t = lexer_->Current();
  switch (t.Kind) {
    case tok::kLineEnd:
    case tok::kExit:
      Emit(t);
      Next();
      return;
    case ':':
    case ';':
      Next();
      return;
    case '@': {
      TScrItem set = std::move(t);
      Next();
      if (t.Kind != tok::kNum) Fatal(MessageCode::kArgumentAlone, {"@"}, "@" + Msg().atAlone);
      set.Kind = tok::kSetArg;
      set.Value = t.Value;
      Next();
      if (t.Kind != '=') Fatal(MessageCode::kArgumentAlone, {"@" + std::to_string(set.Value)}, "@" + std::to_string(set.Value) + Msg().atAlone, set);
      Next();
      Comparison();
      Emit(std::move(set));
      return;
    }
    case tok::kDo:
    case tok::kRet:
    case tok::kWhile: {
      TScrItem op = std::move(t);
      Next();
      Comparison();
      Emit(std::move(op));
      return;
    }
    case tok::kGoto:
    case tok::kGosub: {
      TScrItem jump = std::move(t);
      Next();
      if (t.Kind != tok::kIdent)
        Fatal(MessageCode::kJumpNotLabel, {TokenName(t)}, Msg().gotoLabel1 + "\"" + TokenName(t) + "\"" + Msg().gotoLabel2);
      jump.Text = t.Text;
      Emit(std::move(jump));
      Next();
      return;
    }
    case tok::kIf: {
      TScrItem cond = std::move(t);
      Next();
      Comparison();
      if (t.Kind == tok::kThen) Next();
      Emit(std::move(cond));
      return;
    }
    case tok::kCall: {
      int line = t.Line;
      CallExpression();
      TScrItem drop;
      drop.Kind = tok::kSclr;
      drop.Line = line;
      Emit(std::move(drop));
      return;
    }
    case tok::kIdent: {
      TScrItem set = std::move(t);
      Next();
      if (t.Kind != '=')
        Fatal(MessageCode::kNameAlone, {std::string(set.Text)}, Msg().labelAlone1 + std::string(set.Text) + Msg().labelAlone2, set);
      Next();
      Comparison();
      set.Kind = tok::kSet;
      Emit(std::move(set));
      return;
    }
    default:
      Fatal(MessageCode::kNotHere, {TokenName(t)}, Msg().notHere1 + "\"" + TokenName(t) + "\"" + Msg().notHere2);
  }
}

// expr -> additive { ("<"|">"|"=="|">="|"<=") primary }
void TScript::Comparison() {
  if (++depth_ > kMaxNesting) Fatal(MessageCode::kTooDeep, {}, Msg().tooDeep);
  TScrItem& t = lexer_->Current();
  Additive();
  while (IsComparison(t.Kind)) {
    TScrItem op = std::move(t);
    Next();
    Primary();
    Emit(std::move(op));
  }
  --depth_;
}

// additive -> [("!"|"+"|"-")] term { ("&"|"+"|"-"|XOR|"|") term }
void TScript::Additive() {
  TScrItem& t = lexer_->Current();
  if (t.Kind == '!') {
    TScrItem op = std::move(t);
    Next();
    Term();
    Emit(std::move(op));
  } else if (t.Kind == '+') {
    Next();
    Term();
  } else if (t.Kind == '-') {
    TScrItem op = std::move(t);
    Next();
    if (t.Kind == tok::kNum) {
      // -3*x is (-3)*x: the literal is negated in place.
      t.Value = static_cast<std::int16_t>(-static_cast<std::uint16_t>(t.Value));
      Term();
    } else {
      Term();
      op.Kind = tok::kNeg;
      Emit(std::move(op));
    }
  } else {
    Term();
  }
  while (IsAdditive(t.Kind)) {
    TScrItem op = std::move(t);
    Next();
    Term();
    Emit(std::move(op));
  }
}

// term -> factor { ("*"|"/") primary }
void TScript::Term() {
  TScrItem& t = lexer_->Current();
  Factor();
  while (t.Kind == '*' || t.Kind == '/') {
    TScrItem op = std::move(t);
    Next();
    Primary();
    Emit(std::move(op));
  }
}

// factor -> "@" number | "@" primary | primary
void TScript::Factor() {
  TScrItem& t = lexer_->Current();
  if (t.Kind != '@') {
    Primary();
    return;
  }
  TScrItem at = std::move(t);
  Next();
  if (t.Kind == tok::kNum) {
    at.Kind = tok::kGetArg;
    at.Value = t.Value;
    Emit(std::move(at));
    Next();
  } else {
    Primary();
    Emit(std::move(at));
  }
}

// primary -> "(" expr ")" | number | string | name | call
void TScript::Primary() {
  TScrItem& t = lexer_->Current();
  switch (t.Kind) {
    case '(':
      Next();
      enclosing_.push_back({false, {}});
      Comparison();
      enclosing_.pop_back();
      if (t.Kind != ')') Fatal(MessageCode::kParenNotClosed, {TokenName(t)}, Msg().notClosed1 + TokenName(t) + Msg().notClosed2);
      Next();
      return;
    case tok::kNum:
    case tok::kStr:
      Emit(std::move(t));
      Next();
      return;
    case tok::kIdent: {
      std::int16_t value = 0;
      if (OnConstLab && OnConstLab(t.Text, value)) {
        t.Kind = tok::kNum;
        t.Value = value;
      }
      Emit(std::move(t));
      Next();
      return;
    }
    case tok::kCall:
      CallExpression();
      return;
    default:
      MissingOperand();
  }
}

// An operand is missing ("a + -1", "x =" at the end of a line, "RET"
// alone).  Going on would leave an operator without its value, so the token
// found instead is refused here, with the message that the construct around
// it gives for that token: an unclosed call or parenthesis, a stray argument,
// or "@n" read as a statement of its own ("RET @0 * @1").
void TScript::MissingOperand() {
  TScrItem& t = lexer_->Current();
  const Messages& m = Msg();
  const std::string found = TokenName(t);
  if (!enclosing_.empty()) {
    const Enclosing& around = enclosing_.back();
    if (around.call) {
      const std::string name(around.name);
      if (t.Kind == ';' || t.Kind == tok::kEof) Fatal(MessageCode::kCallNotClosed, {name}, m.function + name + m.callOpen);
      if (t.Kind != ',' && t.Kind != ')')
        Fatal(MessageCode::kStrayArgument, {name, found}, m.function + name + m.argument1 + found + m.argument2);
    } else if (t.Kind != ')') {
      Fatal(MessageCode::kParenNotClosed, {found}, m.notClosed1 + found + m.notClosed2);
    }
  } else if (t.Kind == '@') {
    Next();
    if (t.Kind != tok::kNum) Fatal(MessageCode::kArgumentAlone, {"@"}, "@" + m.atAlone);
    const std::int16_t n = t.Value;
    Next();
    if (t.Kind != '=') Fatal(MessageCode::kArgumentAlone, {"@" + std::to_string(n)}, "@" + std::to_string(n) + m.atAlone);
  }
  Fatal(MessageCode::kNotHere, {found}, m.notHere1 + "\"" + found + "\"" + m.notHere2);
}

// call -> name "(" [ { LF } expr { "," { LF } expr } ] ")"
void TScript::CallExpression() {
  if (++depth_ > kMaxNesting) Fatal(MessageCode::kTooDeep, {}, Msg().tooDeep);
  TScrItem& t = lexer_->Current();
  TScrItem call = std::move(t);
  call.ArgCount = 0;
  enclosing_.push_back({true, call.Text});
  Next();
  while (t.Kind == tok::kLineEnd) Next();
  if (t.Kind == ')') {
    // f() takes no arguments.
    Next();
  } else {
    for (;;) {
      while (t.Kind == tok::kLineEnd) Next();
      Comparison();
      ++call.ArgCount;
      if (t.Kind == ',') {
        Next();
        continue;
      }
      if (t.Kind == ')') {
        Next();
        break;
      }
      const Messages& m = Msg();
      if (t.Kind == ';' || t.Kind == tok::kEof)
        Fatal(MessageCode::kCallNotClosed, {std::string(call.Text)}, m.function + std::string(call.Text) + m.callOpen, call);
      Fatal(MessageCode::kStrayArgument, {std::string(call.Text), TokenName(t)},
            m.function + std::string(call.Text) + m.argument1 + TokenName(t) + m.argument2);
    }
  }
  enclosing_.pop_back();
  Emit(std::move(call));
  --depth_;
}

}  // namespace qmt
