// The argument readers that every command is built from.  A reader works on
// the bytes of one command line without copying them; it lives for one
// ExecuteLine call.
//
// The line ends at its first NUL, CR or LF byte, and the position after the
// last byte reads as NUL.  A reader never steps over such a byte, so once the
// line has ended every further read sees the end (only the pattern commands
// take raw bytes, through Raw()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device/colour.h"
#include "device/messages.h"

namespace qmt {

class LineReader {
 public:
  explicit LineReader(std::string_view line) : line_(line) {}

  static bool IsEnd(unsigned char b) { return b == 0 || b == '\r' || b == '\n'; }

  // The byte at `pos`, NUL past the end of the line.
  unsigned char At(std::size_t pos) const {
    return pos < line_.size() ? static_cast<unsigned char>(line_[pos]) : 0;
  }
  std::size_t Position() const { return pos_; }
  unsigned char Separator() const { return sep_; }

  // character -> any byte but the end of line; the byte after it becomes the
  // separator and stays unread.
  char Character() {
    unsigned char c = At(pos_);
    if (IsEnd(c)) msg::Fail(msg::TooShort());
    ++pos_;
    sep_ = At(pos_);
    sepPending_ = true;
    return static_cast<char>(c);
  }

  // Stands after the two letters of the mnemonic, as two Character calls
  // leave it; the caller has checked that they are there.
  void SkipMnemonic() {
    pos_ = 2;
    sep_ = At(2);
    sepPending_ = true;
  }

  // end check -> the separator must end the line.
  void End() const {
    if (!IsEnd(sep_)) msg::Fail(msg::ExtraChars());
  }

  // number -> ['-'] {digit}; 32-bit, wrapping.  The first other byte is the
  // separator and is consumed unless it ends the line.
  std::int32_t Number() {
    // The position stays in a local while the digits are read: a byte load
    // may alias the member, which would otherwise be stored and reloaded
    // for every digit.
    std::size_t pos = pos_;
    bool negative = false;
    if (At(pos) == '-') {
      negative = true;
      ++pos;
    }
    std::uint32_t value = 0;
    for (unsigned digit; (digit = At(pos) - static_cast<unsigned>('0')) <= 9; ++pos) value = value * 10 + digit;
    pos_ = pos;
    TakeSeparator();
    return static_cast<std::int32_t>(negative ? 0u - value : value);
  }

  // hexadecimal of n digits, most significant first; the byte after them is
  // the separator, consumed unless it ends the line.
  std::uint32_t Hex(int digits) {
    std::uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
      int d = HexDigit(At(pos_));
      if (d < 0) msg::Fail(msg::NotHexDigit());
      value = value * 16 + static_cast<std::uint32_t>(d);
      ++pos_;
    }
    TakeSeparator();
    return value;
  }

  // bounded number -> number within 0..limit (limit > 0) or limit..-limit
  // (limit < 0).  With `endsLine` the separator must end the line; otherwise
  // any byte separates.
  std::int32_t Bounded(std::int32_t limit, bool endsLine = false) {
    std::int32_t value = Number();
    if (endsLine && !IsEnd(sep_)) msg::Fail(msg::BadSeparator());
    std::int32_t high = limit < 0 ? -limit : limit;
    std::int32_t low = limit < 0 ? limit : 0;
    if (value > high) msg::FailGreater(limit);
    if (value < low) msg::FailLess(low);
    return value;
  }

  // The lines the runtime assembles, read the short way: `count` bounded
  // numbers of one to three plain digits, each followed by a comma and each
  // within 0..highs[i].  On a match the values are in `out`, the reader
  // stands where as many Bounded calls would leave it, and the result is
  // true.  Anything else (a sign, more digits, another separator, the end
  // of the line near, a value out of range) reads nothing and returns
  // false, and the caller reads the general way, errors included.
  bool ShortNumbers(int count, const std::int32_t* highs, std::int32_t* out) {
    const std::size_t size = line_.size();
    // Each number reads at most 4 bytes from its start, and starts at most
    // 4 bytes after the one before: 4 * count bytes cover every read.
    if (pos_ > size || size - pos_ < static_cast<std::size_t>(count) * 4) return false;
    const auto* const start = reinterpret_cast<const unsigned char*>(line_.data());
    const unsigned char* p = start + pos_;
    for (int i = 0; i < count; ++i) {
      const unsigned a = p[0] - static_cast<unsigned>('0');
      if (a > 9) return false;
      std::int32_t value;
      const unsigned b = p[1] - static_cast<unsigned>('0');
      if (b > 9) {
        value = static_cast<std::int32_t>(a);
        p += 1;
      } else {
        const unsigned c = p[2] - static_cast<unsigned>('0');
        if (c > 9) {
          value = static_cast<std::int32_t>(a * 10 + b);
          p += 2;
        } else {
          value = static_cast<std::int32_t>(a * 100 + b * 10 + c);
          p += 3;
        }
      }
      if (*p != ',' || value > highs[i]) return false;
      ++p;
      out[i] = value;
    }
    pos_ = static_cast<std::size_t>(p - start);
    sep_ = ',';
    sepPending_ = false;
    return true;
  }

  // digit -> a Character taken as a decimal digit (f and t arguments).
  int Digit() {
    char c = Character();
    if (c < '0' || c > '9') msg::Fail(msg::NotInteger(std::string_view(&c, 1)));
    return c - '0';
  }

  // colour suffix -> [',' letter]; the letter colours this command only.
  // Returns `fallback` when there is no suffix.
  std::uint8_t ColourSuffix(std::uint8_t fallback) {
    if (sep_ != ',') return fallback;
    if (sepPending_) ++pos_;  // the comma is still unread after a Character
    return SevenColour(Character());
  }

  // quoted text -> "'" {byte} "'" [',' letter] end.  At most 120 bytes.
  // Returns the text (a view into the line); *colour gets the letter's
  // colour or keeps its value.
  std::string_view Quoted(std::uint8_t* colour);

  // The next `count` bytes whatever their values (pattern data); fails with
  // "文字列不足" when the line holds fewer.  The byte after them becomes the
  // separator, unread.
  std::string_view Raw(std::size_t count) {
    if (line_.size() - pos_ < count) msg::Fail(msg::TooShort());
    std::string_view data = line_.substr(pos_, count);
    pos_ += count;
    sep_ = At(pos_);
    sepPending_ = true;
    return data;
  }

  static int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }

  std::string_view Line() const { return line_; }
  void Skip(std::size_t n) { pos_ += n; }

 private:
  void TakeSeparator() {
    const unsigned char sep = At(pos_);
    if (!IsEnd(sep)) ++pos_;
    sep_ = sep;
    sepPending_ = false;
  }

  std::string_view line_;
  std::size_t pos_ = 0;
  unsigned char sep_ = 0;
  bool sepPending_ = false;
};

constexpr std::size_t kMaxQuotedBytes = 120;

inline std::string_view LineReader::Quoted(std::uint8_t* colour) {
  if (Character() != '\'') msg::Fail(msg::NoQuote());
  std::size_t start = pos_;
  while (At(pos_) != '\'') {
    if (IsEnd(At(pos_))) msg::Fail(msg::Unterminated());
    ++pos_;
  }
  std::string_view text = line_.substr(start, pos_ - start);
  if (text.size() > kMaxQuotedBytes) msg::Fail(msg::TextTooLong());
  ++pos_;  // the closing apostrophe
  sep_ = At(pos_);
  sepPending_ = true;
  *colour = ColourSuffix(*colour);
  End();
  return text;
}

}  // namespace qmt
