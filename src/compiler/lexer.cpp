#include "compiler/lexer.h"

#include <array>
#include <cstring>

#include "support/encoding.h"

namespace qmt {
namespace {

constexpr char kCr = 0x0D;

enum CharClass : std::uint8_t {
  kBlank = 1,       // 0x01-0x0C and the space; LF is ordinary whitespace
  kIdentStart = 2,  // A-Z, a-z, _ and code page 932 lead bytes
  kDigit = 4,
  kHexDigit = 8,
  kIdentPart = 16,  // A-Z, a-z, _, 0-9
  kKeywordStart = 32,  // first letters of the keywords, either case
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> c{};
  for (int b = 0x01; b <= 0x0C; ++b) c[b] |= kBlank;
  c[' '] |= kBlank;
  for (int b = 'A'; b <= 'Z'; ++b) c[b] |= kIdentStart;
  for (int b = 'a'; b <= 'z'; ++b) c[b] |= kIdentStart;
  c['_'] |= kIdentStart;
  for (int b = 0; b < 256; ++b)
    if (IsLeadByte(static_cast<std::uint8_t>(b))) c[b] |= kIdentStart;
  for (int b = '0'; b <= '9'; ++b) c[b] |= kDigit | kHexDigit;
  for (int b = 'A'; b <= 'F'; ++b) c[b] |= kHexDigit;
  for (int b = 'a'; b <= 'f'; ++b) c[b] |= kHexDigit;
  for (int b = 0; b < 256; ++b)
    if (((c[b] & (kIdentStart | kDigit)) != 0) && !IsLeadByte(static_cast<std::uint8_t>(b))) c[b] |= kIdentPart;
  for (char k : std::string_view("ADEGIORTWX")) {
    c[static_cast<std::uint8_t>(k)] |= kKeywordStart;
    c[static_cast<std::uint8_t>(k + 0x20)] |= kKeywordStart;
  }
  return c;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

bool Is(std::uint8_t b, CharClass cls) { return (kClasses[b] & cls) != 0; }

// Whether the byte after a lead byte belongs to its character: the end of
// the text and the line end never do.
bool TakesTrailByte(std::uint8_t b) { return b != 0 && b != kCr; }

int HexValue(std::uint8_t b) {
  if (b <= '9') return b - '0';
  return (b | 0x20) - 'a' + 10;
}

// A name of up to five bytes packed into one integer, letters in upper
// case, so that a keyword test is a few integer comparisons.
constexpr std::uint64_t Pack(std::string_view name) {
  std::uint64_t v = name.size();
  for (char ch : name) {
    std::uint8_t b = static_cast<std::uint8_t>(ch);
    if (b >= 'a' && b <= 'z') b = static_cast<std::uint8_t>(b - 0x20);
    v = v << 8 | b;
  }
  return v;
}

// Keyword kind of `name` ignoring case, or 0.
std::uint8_t KeywordKind(std::string_view name) {
  if (name.size() < 2 || name.size() > 5 || !Is(static_cast<std::uint8_t>(name[0]), kKeywordStart)) return 0;
  switch (Pack(name)) {
    case Pack("AND"): return tok::kAnd;
    case Pack("OR"): return tok::kOr;
    case Pack("XOR"): return tok::kXor;
    case Pack("GOSUB"): return tok::kGosub;
    case Pack("GOTO"): return tok::kGoto;
    case Pack("IF"): return tok::kIf;
    case Pack("THEN"): return tok::kThen;
    case Pack("EXIT"): return tok::kExit;
    case Pack("RET"): return tok::kRet;
    case Pack("DO"): return tok::kDo;
    case Pack("WHILE"): return tok::kWhile;
    default: return 0;
  }
}

}  // namespace

std::string TokenName(const TScrItem& item) {
  switch (item.Kind) {
    case tok::kEof: return "EOF";
    case tok::kLineEnd: return "LF";
    case tok::kLabel: return std::string(item.Text) + ":";
    case tok::kThen: return "THEN";
    case tok::kNum: return std::to_string(item.Value);
    case tok::kStr: return "c";
    case tok::kIdent: return std::string(item.Text);
    case tok::kCall: return std::string(item.Text) + "(";
    case tok::kGosub: return "GOSUB";
    case tok::kGoto: return "GOTO";
    case tok::kIf: return "IF";
    case tok::kExit: return "EXIT";
    case tok::kRet: return "RET ";
    case tok::kDo: return "D";
    case tok::kWhile: return "W";
    case tok::kXor: return "XOR";
    case tok::kEq: return "==";
    case tok::kLe: return "<=";
    case tok::kGe: return ">=";
    default: return std::string(1, static_cast<char>(item.Kind));
  }
}

Lexer::Lexer(const std::string& text, std::string* strings)
    : text_(text.c_str()), size_(text.size()), strings_(strings ? strings : &ownStrings_) {
  // The text ends at its first zero byte.
  if (const void* zero = std::memchr(text_, 0, size_))
    size_ = static_cast<std::size_t>(static_cast<const char*>(zero) - text_);
  // A decoded literal is never longer than its source text, so the store
  // never grows past this and the views into it stay valid.
  strings_->clear();
  strings_->reserve(size_ + 1);
}

void Lexer::NextToken() {
  TScrItem& t = current_;
  t.Text = {};
  t.Value = 0;
  for (;;) {
    while (Is(At(pos_), kBlank)) ++pos_;
    t.Line = line_;
    t.Start = static_cast<std::int32_t>(pos_);
    std::uint8_t b = At(pos_);
    switch (b) {
      case 0:
        t.Kind = tok::kEof;
        return;
      case '!': case '%': case '&': case '(': case ')': case '*': case '+':
      case ',': case '-': case ':': case ';': case '^': case '|': case '@':
        t.Kind = b;
        ++pos_;
        return;
      case kCr:
        ++line_;
        ++pos_;
        t.Kind = tok::kLineEnd;
        t.Line = line_;
        return;
      case '"':
        ReadString();
        return;
      case '/':
        if (At(pos_ + 1) == '*') {
          SkipBlockComment();
          continue;
        }
        if (At(pos_ + 1) == '/') {
          while (pos_ < size_ && text_[pos_] != kCr) ++pos_;
          continue;
        }
        t.Kind = '/';
        ++pos_;
        return;
      case '<': case '=': case '>':
        ++pos_;
        t.Kind = b;
        if (At(pos_) == '=') {
          ++pos_;
          t.Kind = b == '<' ? tok::kLe : b == '=' ? tok::kEq : tok::kGe;
        }
        return;
      default:
        if (b == '$' || Is(b, kDigit)) {
          ReadNumber();
          return;
        }
        if (Is(b, kIdentStart)) {
          ReadIdentifier();
          return;
        }
        static const std::string kUndefined = Sjis("は未定義文字");
        throw LexError{std::string(1, static_cast<char>(b)) + kUndefined, pos_};
    }
  }
}

void Lexer::SkipBlockComment() {
  pos_ += 2;
  while (pos_ < size_) {
    std::uint8_t b = At(pos_);
    if (b == '*' && At(pos_ + 1) == '/') {
      pos_ += 2;
      return;
    }
    if (b == kCr) ++line_;
    // A double-byte character is passed over as one unit; a lead byte
    // before a CR stands alone, so the CR is still counted.
    pos_ += (IsLeadByte(b) && TakesTrailByte(At(pos_ + 1))) ? 2 : 1;
  }
}

void Lexer::ReadNumber() {
  TScrItem& t = current_;
  t.Kind = tok::kNum;
  std::uint16_t v = 0;
  std::uint8_t b = At(pos_);
  bool hex = false;
  if (b == '$') {
    ++pos_;
    hex = true;
  } else if (b == '0' && (At(pos_ + 1) | 0x20) == 'x') {
    pos_ += 2;
    hex = true;
  } else if (b == '0' && (At(pos_ + 1) | 0x20) == 'b') {
    pos_ += 2;
    // Blanks and tabs between binary digits belong to the number.
    for (;;) {
      std::uint8_t d = At(pos_);
      if (d == '0' || d == '1') {
        v = static_cast<std::uint16_t>(v * 2 + (d - '0'));
      } else if (d != ' ' && d != '\t') {
        break;
      }
      ++pos_;
    }
    t.Value = static_cast<std::int16_t>(v);
    return;
  } else if (b == '0') {
    // "010" is the number 0 followed by the number 10.
    ++pos_;
    t.Value = 0;
    return;
  }
  if (hex) {
    while (Is(At(pos_), kHexDigit)) v = static_cast<std::uint16_t>(v * 16 + HexValue(At(pos_++)));
  } else {
    while (Is(At(pos_), kDigit)) v = static_cast<std::uint16_t>(v * 10 + (At(pos_++) - '0'));
  }
  t.Value = static_cast<std::int16_t>(v);
}

// A string literal ends at the closing quote (consumed), or without error at
// a CR or the end of the text (neither consumed).  An escape never swallows
// the CR or the end: the string simply ends there.
void Lexer::ReadString() {
  TScrItem& t = current_;
  t.Kind = tok::kStr;
  std::string& out = *strings_;
  const std::size_t start = out.size();
  ReadStringBytes(out);
  t.Text = std::string_view(out).substr(start);
}

void Lexer::ReadStringBytes(std::string& out) {
  ++pos_;
  auto ends = [](std::uint8_t c) { return c == 0 || c == kCr; };
  for (;;) {
    std::uint8_t b = At(pos_);
    if (ends(b)) return;
    if (b == '"') {
      ++pos_;
      return;
    }
    if (IsLeadByte(b)) {
      out += static_cast<char>(b);
      ++pos_;
      if (!ends(At(pos_))) out += static_cast<char>(At(pos_++));
      continue;
    }
    if (b == '\\') {
      std::uint8_t e = At(pos_ + 1);
      if (ends(e)) {
        ++pos_;
        return;
      }
      pos_ += 2;
      switch (e) {
        case 'a': out += '\x07'; break;
        case 'b': out += '\x08'; break;
        case 'f': out += '\x0C'; break;
        case 'n': out += "\r\n"; break;
        case 'r': out += '\x0D'; break;
        case 't': out += '\x09'; break;
        case 'v': out += '\x0B'; break;
        case 'x':
        case 'X': {
          std::uint8_t h1 = At(pos_);
          if (ends(h1)) return;
          std::uint8_t h2 = At(pos_ + 1);
          if (ends(h2)) {
            ++pos_;
            return;
          }
          pos_ += 2;
          if (Is(h1, kHexDigit) && Is(h2, kHexDigit))
            out += static_cast<char>(HexValue(h1) * 16 + HexValue(h2));
          break;
        }
        default:
          out += static_cast<char>(e);
          break;
      }
      continue;
    }
    if (b == '%') {
      std::uint8_t h1 = At(pos_ + 1);
      if (!Is(h1, kHexDigit)) {
        out += '%';
        ++pos_;
        continue;
      }
      std::uint8_t h2 = At(pos_ + 2);
      if (Is(h2, kHexDigit)) {
        out += static_cast<char>(HexValue(h1) * 16 + HexValue(h2));
        pos_ += 3;
      } else if (ends(h2) || h2 == '"' || IsLeadByte(h2)) {
        // The closing quote, the line end and double-byte characters are
        // not taken into the escape.
        out += '%';
        out += static_cast<char>(h1);
        pos_ += 2;
      } else {
        out += '%';
        out += static_cast<char>(h1);
        out += static_cast<char>(h2);
        pos_ += 3;
      }
      continue;
    }
    out += static_cast<char>(b);
    ++pos_;
  }
}

void Lexer::ReadIdentifier() {
  TScrItem& t = current_;
  std::size_t start = pos_;
  for (;;) {
    std::uint8_t b = At(pos_);
    if (Is(b, kIdentPart)) {
      ++pos_;
    } else if (IsLeadByte(b)) {
      pos_ += TakesTrailByte(At(pos_ + 1)) ? 2 : 1;
    } else {
      break;
    }
  }
  std::string_view name(text_ + start, pos_ - start);
  if (std::uint8_t kw = KeywordKind(name)) {
    t.Kind = kw;
    return;
  }
  t.Text = name;
  while (Is(At(pos_), kBlank)) ++pos_;
  if (At(pos_) == '(') {
    ++pos_;
    t.Kind = tok::kCall;
  } else {
    t.Kind = tok::kIdent;
  }
}

}  // namespace qmt
