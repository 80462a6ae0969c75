// The built-in table, the line builders and the built-ins that only format
// or compute: d, c, box, line, GI, MulDiv, SelPanel.  text and num live in
// text_output.cpp, the gauge drawings in gauges.cpp.
#include "runtime/builtins.h"

#include <memory>

#include "runtime/line_builder.h"

namespace qmt {

TRuntimeState& RuntimeState() {
  // Heap-allocated once: the needle memory alone is 128 KiB.
  static const std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
  return *state;
}

const std::array<TBuiltin, kBuiltinCount> kBuiltins = {
    BuiltinD,      BuiltinS,      BuiltinC,  BuiltinBox,     BuiltinText,
    BuiltinLine,   BuiltinArc,    BuiltinNeedle, BuiltinMulDiv, BuiltinNum,
    BuiltinGI,     BuiltinCirFill, BuiltinSelPanel,
};

std::int16_t CallBuiltin(void* user, std::uint16_t id, std::uint8_t argc, const std::int16_t* args) {
  auto& context = *static_cast<TRuntimeContext*>(user);
  if (id >= kBuiltins.size()) {
    context.errorCode = kErrUndefinedFunction;
    return 0;
  }
  return kBuiltins[id](context, argc, args);
}

// ---- line buffer and builders ----

void TLineBuffer::Decimal(std::int32_t value) {
  if (Room() >= 11) {
    size_ = static_cast<int>(line_detail::WriteDecimal(data_ + size_, value) - data_);
    return;
  }
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  int digits = 1;
  for (std::uint32_t rest = magnitude; rest >= 10; rest /= 10) ++digits;
  const int length = digits + (value < 0 ? 1 : 0);
  if (length > Room()) {
    size_ = kCapacity;
    overflow_ = true;
    return;
  }
  if (value < 0) data_[size_] = '-';
  size_ += length;
  char* p = data_ + size_;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
}

void TLineBuffer::Hex2(std::uint8_t value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Put(kHex[value >> 4]);
  Put(kHex[value & 15]);
}

void TLineBuffer::Hex4(std::uint16_t value) {
  Hex2(static_cast<std::uint8_t>(value >> 8));
  Hex2(static_cast<std::uint8_t>(value));
}

void TLineBuffer::Send(TRuntimeContext& context) {
  // Zero-terminated as a text line, and sent with its length, which spares
  // the sink a scan: an assembled line never holds a zero byte.
  data_[size_] = '\0';
  if (!context.sink) return;
  if (size_ == 0) {
    context.sink(context.owner, 0, data_);
  } else {
    context.sink(context.owner, size_, data_);
  }
}

void SetColour(TRuntimeContext& context, std::uint8_t colour) {
  TRuntimeState& state = StateOf(context);
  if (colour == state.colourCache) return;
  state.colourCache = colour;
  TLineBuffer line;
  line.Put("CS");
  line.Hex2(colour);
  line.Send(context);
}

namespace {

void PointLine(TRuntimeContext& context, std::string_view name, std::int32_t x, std::int32_t y,
               std::string_view tail) {
  TLineBuffer line;
  line.Numbers(name, {x, y}, tail);
  line.Send(context);
}

}  // namespace

void MoveTo(TRuntimeContext& context, std::int32_t x, std::int32_t y) { PointLine(context, "PA", x, y, ",0"); }

void PointAt(TRuntimeContext& context, std::int32_t x, std::int32_t y) { PointLine(context, "PA", x, y, ",1"); }

void RelativeLine(TRuntimeContext& context, std::int32_t dx, std::int32_t dy) {
  PointLine(context, "LR", dx, dy, ",1");
}

void LineTo(TRuntimeContext& context, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  TLineBuffer line;
  line.Numbers("LA", {x1, y1, x2, y2}, ",1");
  line.Send(context);
}

void BoxLine(TRuntimeContext& context, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
             std::int32_t fill) {
  TLineBuffer line;
  line.Numbers("TA", {x1, y1, x2, y2, fill}, {});
  line.Send(context);
}

void CellPosition(TRuntimeContext& context, std::string_view name, std::int32_t column, std::int32_t row) {
  PointLine(context, name, column & 0xFF, row & 0xFF, {});
}

void Span(TRuntimeContext& context, std::uint8_t colour, std::int32_t y, std::int32_t x1, std::int32_t x2) {
  if (x2 < x1) return;
  SetColour(context, colour);
  if (x1 == x2) {
    PointAt(context, x1, y);
  } else {
    LineTo(context, x1, y, x2, y);
  }
}

// ---- the formatting built-ins ----

// d(template, values...): "#" takes the next value in decimal, "$" the
// string the next value points at.  A template alone goes out unchanged.
// A placeholder without a value takes 0 ("#") or the empty string ("$");
// a line longer than the buffer sends nothing and reports the error rather
// than cutting.
std::int16_t BuiltinD(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc == 0) return -1;
  const std::int16_t templ = args[0];
  if (argc == 1) {
    // Sent as it stands, bounded by the end of the code area.
    const int start = static_cast<std::uint16_t>(templ);
    int length = 0;
    while (start + length < static_cast<int>(kCodeAreaSize) && context.machine.code[start + length] != 0) {
      ++length;
    }
    if (context.sink) {
      const char* bytes = reinterpret_cast<const char*>(context.machine.code + start);
      context.sink(context.owner, length, length > 0 ? bytes : "");
    }
    return 0;
  }
  TLineBuffer line;
  int next = 1;
  for (int i = 0;; ++i) {
    if (i >= static_cast<int>(kCodeAreaSize)) break;
    const std::uint8_t b = StringByte(context, templ, i);
    if (b == 0) break;
    if (b == '#' || b == '$') {
      const bool given = next < argc;
      const std::int16_t value = given ? args[next++] : 0;
      if (b == '#') {
        line.Decimal(value);
      } else if (given) {
        for (int k = 0; k < static_cast<int>(kCodeAreaSize); ++k) {
          const std::uint8_t c = StringByte(context, value, k);
          if (c == 0 || line.Overflow()) break;
          line.Put(static_cast<char>(c));
        }
      }
    } else {
      line.Put(static_cast<char>(b));
    }
    if (line.Overflow()) {
      context.errorCode = kErrLineTooLong;
      return -1;
    }
  }
  line.Send(context);
  return 0;
}

std::int16_t BuiltinC(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc >= 1) SetColour(context, static_cast<std::uint8_t>(args[0]));
  return StateOf(context).colourCache;
}

std::int16_t BuiltinBox(TRuntimeContext& context, int argc, const std::int16_t* args) {
  TRuntimeState& state = StateOf(context);
  const int n = argc < 5 ? argc : 5;
  for (int i = 0; i < n; ++i) state.box[i] = args[i];
  const auto [x, y, width, height, mode] = state.box;
  int fill;
  switch (mode >> 8) {
    case 1:
      SetColour(context, static_cast<std::uint8_t>(mode));
      fill = 0;
      break;
    case 2:
      SetColour(context, static_cast<std::uint8_t>(mode));
      fill = 1;
      break;
    default:
      fill = mode & 1;
      break;
  }
  BoxLine(context, x, y, std::int32_t{x} + width, std::int32_t{y} + height, fill);
  return x;
}

std::int16_t BuiltinLine(TRuntimeContext& context, int argc, const std::int16_t* args) {
  TRuntimeState& state = StateOf(context);
  const int n = argc < 4 ? argc : 4;
  for (int i = 0; i < n; ++i) state.line[i] = args[i];
  const auto [x, y, dx, dy] = state.line;
  LineTo(context, x, y, std::int32_t{x} + dx, std::int32_t{y} + dy);
  return 0;
}

std::int16_t BuiltinGI(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc == 0) return -1;
  char bytes[34] = {'G', 'I'};
  for (int i = 0; i < 32; ++i) bytes[2 + i] = static_cast<char>(StringByte(context, args[0], i));
  if (context.sink) context.sink(context.owner, 34, bytes);
  return 0;
}

// a * b / c with a 32-bit product, truncating toward zero.  A divisor of 0
// gives 0: the call has no meaningful value, and stopping the macro over it
// would be worse than a zero on the screen.
std::int16_t BuiltinMulDiv(TRuntimeContext& context, int argc, const std::int16_t* args) {
  if (argc != 3) {
    context.errorCode = kErrArgumentCount;
    return 0;
  }
  const std::int32_t product = std::int32_t{args[0]} * args[1];
  if (args[2] == 0) return 0;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(product / args[2]));
}

std::int16_t BuiltinSelPanel(TRuntimeContext& context, int argc, const std::int16_t* args) {
  TRuntimeState& state = StateOf(context);
  std::uint8_t& left = state.panelLeft;
  std::uint8_t& right = state.panelRight;
  switch (argc) {
    case 1: {
      const auto n = static_cast<std::int8_t>(args[0]);
      if (n == -2) return left;
      if (n == -1) return right;
      if (n < 0 || n > 3) break;
      if (n == left || n == right) {
        std::swap(left, right);
        return 1;
      }
      (n <= 1 ? left : right) = static_cast<std::uint8_t>(n);
      return 0;
    }
    case 2:
      if (args[0] == left) return 0;
      if (args[0] == right) return 1;
      return args[1];
    case 3:
      return (args[2] == args[1] && (args[0] == left || args[0] == right)) ? 1 : 0;
    default:
      break;
  }
  context.errorCode = kErrArgumentCount;
  return 0;
}

}  // namespace qmt
