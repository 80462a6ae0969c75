// Assembling command lines for the built-ins: a bounded buffer, the decimal
// rule, and the small line forms (colour, move, point, line, box, span) that
// the drawing built-ins share.  Internal to the runtime.
#pragma once

#include <cstdint>
#include <cstring>
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
  void Hex2(std::uint8_t value);
  void Hex4(std::uint16_t value);
  // Zero-terminates and hands the line to the context's sink.
  void Send(TRuntimeContext& context);

 private:
  char data_[kLineBufferSize];
  int size_ = 0;
  bool overflow_ = false;
};

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
