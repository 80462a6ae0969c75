// Assembling command lines for the built-ins: a bounded buffer, the decimal
// rule, and the small line forms (colour, move, point, line, box, span) that
// the drawing built-ins share.  Internal to the runtime.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "runtime/builtins.h"
#include "runtime/machine.h"

namespace qmt {

// One command line being built.  Appending past the 255th byte sets
// `overflow` instead of writing; callers decide what that means.
class TLineBuffer {
 public:
  static constexpr int kCapacity = kLineBufferSize - 1;

  int Size() const { return size_; }
  bool Overflow() const { return overflow_; }
  int Room() const { return kCapacity - size_; }
  void Clear() {
    size_ = 0;
    overflow_ = false;
  }
  void Put(char c) {
    if (size_ < kCapacity) {
      data_[size_++] = c;
    } else {
      overflow_ = true;
    }
  }
  void Put(std::string_view text) {
    if (text.empty()) return;
    if (text.size() <= static_cast<std::size_t>(Room())) {
      std::memcpy(data_ + size_, text.data(), text.size());
      size_ += static_cast<int>(text.size());
    } else {
      std::memcpy(data_ + size_, text.data(), static_cast<std::size_t>(Room()));
      size_ = kCapacity;
      overflow_ = true;
    }
  }
  // The decimal rule: a minus sign when negative, then the digits of the
  // magnitude without leading zeros.
  void Decimal(std::int32_t value);
  // head, the values in decimal separated by commas, then tail: the fixed
  // line forms.  Written through one pointer when the worst case fits, which
  // it always does in a fresh line.
  void Numbers(std::string_view head, std::initializer_list<std::int32_t> values, std::string_view tail);
  void Hex2(std::uint8_t value);
  void Hex4(std::uint16_t value);
  // Zero-terminates and hands the line to the context's sink.
  void Send(TRuntimeContext& context);

 private:
  char data_[kLineBufferSize];
  int size_ = 0;
  bool overflow_ = false;
};

namespace line_detail {

// "0".."999" with their digit counts: coordinates are nearly always below
// 1000, so most numbers are one table copy.
struct SmallNumbers {
  char text[1000][4];  // the digits, then a zero byte: copied 4 at a time
  std::uint8_t length[1000];
  constexpr SmallNumbers() : text(), length() {
    for (int n = 0; n < 1000; ++n) {
      const int digits = n >= 100 ? 3 : n >= 10 ? 2 : 1;
      length[n] = static_cast<std::uint8_t>(digits);
      int v = n;
      for (int i = digits - 1; i >= 0; --i) {
        text[n][i] = static_cast<char>('0' + v % 10);
        v /= 10;
      }
    }
  }
};
inline constexpr SmallNumbers kSmallNumbers;

// The decimal rule at p, with no check: at most 11 bytes, and a number below
// 1000 stores 4 bytes of which its 1 to 3 digits count.  Returns the end.
inline char* WriteDecimal(char* p, std::int32_t value) {
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  if (value < 0) *p++ = '-';
  if (magnitude < 1000) {
    std::memcpy(p, kSmallNumbers.text[magnitude], 4);
    return p + kSmallNumbers.length[magnitude];
  }
  char digits[10];
  char* d = digits + sizeof digits;
  do {
    *--d = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const auto n = static_cast<std::size_t>(digits + sizeof digits - d);
  std::memcpy(p, d, n);
  return p + n;
}

}  // namespace line_detail

inline void TLineBuffer::Numbers(std::string_view head, std::initializer_list<std::int32_t> values, std::string_view tail) {
  const std::size_t worst = head.size() + 12 * values.size() + tail.size();
  if (worst > static_cast<std::size_t>(Room())) {
    Put(head);
    bool first = true;
    for (std::int32_t v : values) {
      if (!first) Put(',');
      first = false;
      Decimal(v);
    }
    Put(tail);
    return;
  }
  // Heads and tails are two letters or nothing; copies of a fixed size
  // compile to plain stores.  An empty view may have no data at all, which
  // memcpy must not be given.
  auto copy = [](char* to, std::string_view text) {
    if (text.size() == 2) {
      std::memcpy(to, text.data(), 2);
    } else if (!text.empty()) {
      std::memcpy(to, text.data(), text.size());
    }
    return to + text.size();
  };
  char* p = copy(data_ + size_, head);
  bool first = true;
  for (std::int32_t v : values) {
    if (!first) *p++ = ',';
    first = false;
    p = line_detail::WriteDecimal(p, v);
  }
  p = copy(p, tail);
  size_ = static_cast<int>(p - data_);
}

inline TRuntimeState& StateOf(TRuntimeContext& context) {
  return context.state ? *context.state : RuntimeState();
}

// Byte i of the string at image offset `offset`, wrapping inside the area.
inline std::uint8_t StringByte(const TRuntimeContext& context, std::int16_t offset, int i) {
  return context.machine.code[static_cast<std::uint16_t>(static_cast<std::uint16_t>(offset) + i)];
}

// The line builders.
void SetColour(TRuntimeContext& context, std::uint8_t colour);
void MoveTo(TRuntimeContext& context, std::int32_t x, std::int32_t y);
void PointAt(TRuntimeContext& context, std::int32_t x, std::int32_t y);
void LineTo(TRuntimeContext& context, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
void RelativeLine(TRuntimeContext& context, std::int32_t dx, std::int32_t dy);
void BoxLine(TRuntimeContext& context, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
             std::int32_t fill);
// HP or CP with column and row sent as 0-255.
void CellPosition(TRuntimeContext& context, std::string_view name, std::int32_t column, std::int32_t row);
// A horizontal run in one colour; nothing when x2 < x1.
void Span(TRuntimeContext& context, std::uint8_t colour, std::int32_t y, std::int32_t x1, std::int32_t x2);

}  // namespace qmt
