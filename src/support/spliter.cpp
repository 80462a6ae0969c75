#include "support/spliter.h"

#include <limits>

#include "support/encoding.h"

namespace qmt {
namespace {

// Parenthesised expressions may nest this deep; deeper text is an error
// rather than a stack overflow.
constexpr int kMaxDepth = 200;

struct Messages {
  std::string noNextChar = Sjis("次の文字が無い");
  std::string notNumber = Sjis("数じゃない");
  std::string notClosed1 = Sjis(")じゃなくて");
  std::string notClosed2 = Sjis("を見つけた");
  std::string noOperand = Sjis("数字ないかも");
  std::string divideByZero = Sjis("0で割った");
  std::string tooDeep = Sjis("括弧の入れ子が深すぎる");
  std::string where = Sjis("のStringSpliterにおいて");
};
const Messages& Msg() {
  static const Messages m;
  return m;
}

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
int HexDigit(std::uint8_t c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const TSpliter::CharSet& NameChars() {
  static const TSpliter::CharSet set = [] {
    TSpliter::CharSet s;
    for (int c = 'A'; c <= 'Z'; ++c) s.set(c);
    for (int c = 'a'; c <= 'z'; ++c) s.set(c);
    for (int c = '0'; c <= '9'; ++c) s.set(c);
    s.set('_');
    s.set('@');
    return s;
  }();
  return set;
}

// Arithmetic wraps modulo 2^64.
std::int64_t Wrap(std::uint64_t v) { return static_cast<std::int64_t>(v); }
std::uint64_t U(std::int64_t v) { return static_cast<std::uint64_t>(v); }

}  // namespace

void TSpliter::Error(const std::string& message) { throw SilentAbort(message); }

void TSpliter::Fail(const std::string& message) {
  Error(message);
  // An override that returns still must not let reading go on.
  throw SilentAbort(message);
}

std::uint8_t TSpliter::TakeChar() {
  if (atEnd_) Fail(Msg().noNextChar);
  std::uint8_t c = ch_;
  NextChar();
  return c;
}

void TSpliter::SkipBlanks() {
  while (!atEnd_ && (ch_ == ' ' || ch_ == '\t')) NextChar();
}

std::int64_t TSpliter::ReadNumber() {
  // Each "-" negates the number that follows ("--5" is 5).
  bool negate = false;
  for (;;) {
    SkipBlanks();
    count_ = 0;
    if (atEnd_) Fail(Msg().notNumber);
    if (ch_ != '-') break;
    NextChar();
    negate = !negate;
  }
  if (ch_ == '+') {
    NextChar();
    if (atEnd_) Fail(Msg().notNumber);
  }
  std::uint64_t value = 0;
  bool hex = false;
  if (ch_ == '$') {
    ++count_;
    NextChar();
    hex = true;
  } else {
    if (!IsDigit(ch_)) Fail(Msg().notNumber);
    if (ch_ == '0') {
      ++count_;
      NextChar();
      if (!atEnd_ && ch_ == 'x') {
        ++count_;
        NextChar();
        hex = true;
      }
    }
  }
  if (hex) {
    for (int d; !atEnd_ && (d = HexDigit(ch_)) >= 0; NextChar()) {
      value = value * 16 + static_cast<std::uint64_t>(d);
      ++count_;
    }
  } else {
    for (; !atEnd_ && IsDigit(ch_); NextChar()) {
      value = value * 10 + (ch_ - '0');
      ++count_;
    }
  }
  return negate ? Wrap(0 - value) : Wrap(value);
}

void TSpliter::ReadWhile(const CharSet& set, std::string& text) {
  count_ = 0;
  text.clear();
  while (!atEnd_) {
    if (IsLeadByte(ch_)) {
      text += static_cast<char>(ch_);
      NextChar();
      ++count_;
      if (atEnd_) break;
      text += static_cast<char>(ch_);
      NextChar();
      ++count_;
    } else if (set.test(ch_)) {
      text += static_cast<char>(ch_);
      NextChar();
      ++count_;
    } else {
      break;
    }
  }
}

std::int64_t TSpliter::Evaluate(const Resolver& resolver) { return Expression(resolver, 0); }

// expression -> [sign] term { ("&"|"+"|"-"|"|") term }
std::int64_t TSpliter::Expression(const Resolver& resolver, int depth) {
  if (depth > kMaxDepth) Fail(Msg().tooDeep);
  SkipBlanks();
  bool negate = false;
  if (!atEnd_ && (ch_ == '-' || ch_ == '+')) {
    negate = ch_ == '-';
    NextChar();
  }
  std::int64_t value = Term(resolver, depth);
  if (negate) value = Wrap(0 - U(value));
  for (;;) {
    SkipBlanks();
    if (atEnd_) return value;
    std::uint8_t op = ch_;
    if (op != '&' && op != '+' && op != '-' && op != '|') return value;
    NextChar();
    std::int64_t rhs = Term(resolver, depth);
    switch (op) {
      case '&': value &= rhs; break;
      case '+': value = Wrap(U(value) + U(rhs)); break;
      case '-': value = Wrap(U(value) - U(rhs)); break;
      default: value |= rhs; break;
    }
  }
}

// term -> comparison { ("*"|"/") comparison }
std::int64_t TSpliter::Term(const Resolver& resolver, int depth) {
  std::int64_t value = Comparison(resolver, depth);
  for (;;) {
    SkipBlanks();
    if (atEnd_ || (ch_ != '*' && ch_ != '/')) return value;
    std::uint8_t op = ch_;
    NextChar();
    std::int64_t rhs = Comparison(resolver, depth);
    if (op == '*') {
      value = Wrap(U(value) * U(rhs));
    } else if (rhs == 0) {
      Fail(Msg().divideByZero);
    } else if (rhs == -1) {
      value = Wrap(0 - U(value));  // the minimum divided by -1 wraps
    } else {
      value /= rhs;
    }
  }
}

// comparison -> operand { ("<"|">") operand }
std::int64_t TSpliter::Comparison(const Resolver& resolver, int depth) {
  std::int64_t value = Operand(resolver, depth);
  for (;;) {
    SkipBlanks();
    if (atEnd_ || (ch_ != '<' && ch_ != '>')) return value;
    std::uint8_t op = ch_;
    NextChar();
    std::int64_t rhs = Operand(resolver, depth);
    value = op == '<' ? (value < rhs) : (value > rhs);
  }
}

// operand -> "(" expression ")" | number | name
std::int64_t TSpliter::Operand(const Resolver& resolver, int depth) {
  const Messages& m = Msg();
  SkipBlanks();
  if (!atEnd_ && ch_ == '(') {
    NextChar();
    std::int64_t value = Expression(resolver, depth + 1);
    SkipBlanks();
    if (ch_ != ')') Fail(m.notClosed1 + std::string(1, static_cast<char>(ch_)) + m.notClosed2);
    NextChar();
    return value;
  }
  if (!atEnd_ && (ch_ == '$' || ch_ == '+' || ch_ == '-' || IsDigit(ch_))) return ReadNumber();
  if (resolver && !atEnd_ && (NameChars().test(ch_) || IsLeadByte(ch_)) && !IsDigit(ch_)) {
    std::string name;
    ReadWhile(NameChars(), name);
    std::int64_t value = 0;
    if (resolver(*this, name, value)) return value;
  }
  Fail(m.noOperand);
}

TStringSpliter::TStringSpliter(std::string text) : text_(std::move(text)) {
  atEnd_ = false;
  count_ = 0;
  position_ = 0;
  NextChar();
}

void TStringSpliter::NextChar() {
  if (position_ < static_cast<std::int32_t>(text_.size())) {
    ch_ = static_cast<std::uint8_t>(text_[position_]);
    ++position_;
  } else {
    atEnd_ = true;
    ch_ = 0;
  }
}

void TStringSpliter::Error(const std::string& message) {
  std::string excerpt = text_.size() < 10 ? text_ : text_.substr(0, 6) + "...";
  throw SilentAbort(excerpt + Msg().where + message);
}

}  // namespace qmt
