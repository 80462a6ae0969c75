// Lexer of the macro language: turns code page 932 macro text into tokens
// with line numbers.  The statement reader (script.cpp) drives it one token
// at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qmt {

// Token kinds.  For operators and for every token that becomes an
// instruction the kind is the P-code opcode itself, so the generator writes
// the kind byte as it is.
namespace tok {
constexpr std::uint8_t kEof = 0;
constexpr std::uint8_t kLineEnd = 1;
constexpr std::uint8_t kLabel = 2;  // label definition, set by the statement reader
constexpr std::uint8_t kThen = 3;
constexpr std::uint8_t kSclr = 0x20;
constexpr std::uint8_t kNum = 'n';
constexpr std::uint8_t kStr = 'c';
constexpr std::uint8_t kIdent = 0xC2;  // an identifier; as an operand, Get
constexpr std::uint8_t kCall = 0x80;   // identifier followed by "("; CALL after generation
constexpr std::uint8_t kFunc = 0x81;
constexpr std::uint8_t kGetExt = 0xC0;
constexpr std::uint8_t kSetExt = 0xC1;
constexpr std::uint8_t kSet = 0xC3;
constexpr std::uint8_t kGetArg = 0xC4;
constexpr std::uint8_t kSetArg = 0xC5;
constexpr std::uint8_t kGosub = 's';
constexpr std::uint8_t kGoto = 'g';
constexpr std::uint8_t kIf = 'i';
constexpr std::uint8_t kExit = 'T';
constexpr std::uint8_t kRet = 'R';
constexpr std::uint8_t kDo = 'D';
constexpr std::uint8_t kWhile = 'W';
constexpr std::uint8_t kAnd = '&';
constexpr std::uint8_t kOr = '|';
constexpr std::uint8_t kXor = 'X';
constexpr std::uint8_t kEq = 'E';
constexpr std::uint8_t kLe = 'L';
constexpr std::uint8_t kGe = 'G';
constexpr std::uint8_t kNeg = 'N';
}  // namespace tok

// One token, and later one entry of the compiler's postfix list.
struct TScrItem {
  // A plain record of 40 bytes: the list of a long macro is walked several
  // times, so its size counts.
  std::uint8_t Kind = tok::kEof;
  std::int16_t Value = 0;    // number; later slot, id, string address or target index
  std::int32_t Address = 0;  // code address assigned by the generator
  std::int32_t Line = 0;
  std::int32_t ArgCount = 0;
  // IF: index of the line end it jumps to.  Kept apart from Value, which is
  // too narrow for the token index of a long program.
  std::int32_t Target = -1;
  // Byte offset in the text where the token starts; -1 for tokens the
  // compiler makes itself.  Messages point at it.
  std::int32_t Start = -1;
  // Identifier or label name: a view into the compiled text.  A string
  // literal: its decoded bytes, a view into the lexer's string store.  Both
  // stay valid until the next compile.
  std::string_view Text;
};
using TAScrItem = std::vector<TScrItem>;

// The name of a token in messages: "EOF", "LF", the number in decimal, the
// identifier's name, and so on.
std::string TokenName(const TScrItem& item);

// Raised by the lexer for a byte that starts no token; `text` is the
// message without the line number (the compiler adds it and the context).
struct LexError {
  std::string text;
  std::size_t offset = 0;  // of the byte
};

class Lexer {
 public:
  // `text` must outlive the lexer.  Reading stops at its end or at the first
  // zero byte, whichever comes first.  (A std::string, so that a zero byte
  // always follows the last character and reads need no bounds check.)
  // Decoded string literals go to `strings` (the lexer's own store when
  // null), which is cleared here and must outlive the tokens.
  explicit Lexer(const std::string& text, std::string* strings = nullptr);
  Lexer(const Lexer&) = delete;
  Lexer& operator=(const Lexer&) = delete;

  // Reads the next token into Current() and advances.  Throws LexError.
  void NextToken();
  TScrItem& Current() { return current_; }

  // The byte at the current position (0 at the end of the text); used to
  // recognise "name:" at the start of a line.
  std::uint8_t RawByte() const { return At(pos_); }
  void SkipRawByte() {
    if (pos_ < size_) ++pos_;
  }

  int Line() const { return line_; }
  std::size_t Position() const { return pos_; }
  std::string_view Text() const { return {text_, size_}; }

 private:
  // Every read stops at the first zero byte, and text_[size_] is zero, so
  // `i` never passes size_.
  std::uint8_t At(std::size_t i) const { return static_cast<std::uint8_t>(text_[i]); }
  void SkipBlockComment();
  void ReadNumber();
  void ReadString();
  void ReadStringBytes(std::string& out);
  void ReadIdentifier();

  const char* text_;
  std::size_t size_;
  std::size_t pos_ = 0;
  int line_ = 0;
  TScrItem current_;
  std::string ownStrings_;
  std::string* strings_;
};

}  // namespace qmt
