// The body of Step, kept inline so that the loops that drive the machine
// (the runner's budgeted loop, benchmarks) run it without a call per
// instruction.  Included by machine.h; not for direct use.
//
// One switch on the opcode per step; every pop, push, frame access and
// return-stack move is checked so that no program, however malformed,
// reaches outside the machine's own arrays.  A faulting instruction sets the
// error code and changes nothing else but PC, which points past it, as the
// runner's message expects.
#pragma once

#include <cstdint>

#include "compiler/opcodes.h"
#include "runtime/machine.h"

namespace qmt {
namespace step_detail {

// Arithmetic is done on unsigned 16-bit values and converted back, which
// C++20 defines as wrapping.
inline std::int16_t Wrap(std::uint32_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }
inline std::uint16_t U(std::int16_t v) { return static_cast<std::uint16_t>(v); }

}  // namespace step_detail

[[gnu::always_inline]] inline int Step(TRuntimeContext& context) {
  using step_detail::U;
  using step_detail::Wrap;
  TMachine& m = context.machine;
  if (m.stopped) return 1;
  const std::uint8_t* const code = m.code;
  std::uint16_t pc = m.PC;
  const std::uint8_t op = code[pc++];
  m.opcode = op;
  const unsigned sp = m.SP;
  unsigned newSp = sp;  // written back once, at the end

  // Operand readers; PC wraps inside the 64 KiB area.
  auto word = [&]() -> std::uint16_t {
    std::uint16_t lo = code[pc++];
    std::uint16_t hi = code[pc++];
    return static_cast<std::uint16_t>(lo | (hi << 8));
  };
  auto byte = [&]() -> std::uint8_t { return code[pc++]; };
  auto fault = [&](std::uint16_t error) {
    context.errorCode = error;
    m.PC = pc;
    return 0;
  };
  // Index of argument n of the current frame; negative when it lies below
  // the stack.
  auto argIndex = [&](int n) { return static_cast<int>(m.FP) - 2 - static_cast<int>(m.AC) + n; };

#define QMT_NEED(n) \
  if (sp < (n)) return fault(kErrStackUnderflow)
#define QMT_ROOM(n) \
  if (sp + (n) > static_cast<unsigned>(kOperandStackSize)) return fault(kErrStackOverflow)
#define QMT_BINARY(expr)             \
  {                                  \
    QMT_NEED(2);                     \
    const std::int16_t a = m.S[sp - 2]; \
    const std::int16_t b = m.S[sp - 1]; \
    m.S[sp - 2] = (expr);            \
    newSp = sp - 1; \
    break;                           \
  }

  switch (static_cast<Op>(op)) {
    case Op::END:
      m.stopped = 1;
      m.PC = pc;
      return 1;
    case Op::SCLR:
      QMT_NEED(1);
      newSp = sp - 1;
      break;
    case Op::NOT:
      QMT_NEED(1);
      m.S[sp - 1] = m.S[sp - 1] == 0 ? 1 : 0;
      break;
    case Op::AND: QMT_BINARY(static_cast<std::int16_t>(a & b))
    case Op::OR: QMT_BINARY(static_cast<std::int16_t>(a | b))
    case Op::XOR: QMT_BINARY(static_cast<std::int16_t>(a ^ b))
    case Op::ADD: QMT_BINARY(Wrap(std::uint32_t{U(a)} + U(b)))
    case Op::SUB: QMT_BINARY(Wrap(std::uint32_t{U(a)} - U(b)))
    case Op::MUL: QMT_BINARY(Wrap(std::uint32_t{U(a)} * U(b)))
    case Op::LT: QMT_BINARY(static_cast<std::int16_t>(a < b))
    case Op::GT: QMT_BINARY(static_cast<std::int16_t>(a > b))
    case Op::EQ: QMT_BINARY(static_cast<std::int16_t>(a == b))
    case Op::GE: QMT_BINARY(static_cast<std::int16_t>(a >= b))
    case Op::LE: QMT_BINARY(static_cast<std::int16_t>(a <= b))
    case Op::DIV: {
      QMT_NEED(2);
      const std::int32_t a = m.S[sp - 2];
      const std::int32_t b = m.S[sp - 1];
      if (b == 0) return fault(kErrDivisionByZero);
      // In 32 bits -32768 / -1 is 32768, which wraps to -32768.
      m.S[sp - 2] = Wrap(static_cast<std::uint32_t>(a / b));
      newSp = sp - 1;
      break;
    }
    case Op::NEG:
      QMT_NEED(1);
      m.S[sp - 1] = Wrap(0u - U(m.S[sp - 1]));
      break;
    case Op::ARG: {
      QMT_NEED(1);
      const int i = argIndex(m.S[sp - 1]);
      if (i < 0 || i >= static_cast<int>(sp)) return fault(kErrArgumentIndex);
      m.S[sp - 1] = m.S[i];
      break;
    }
    case Op::STR:
    case Op::NUM: {
      const std::uint16_t v = word();
      QMT_ROOM(1);
      m.S[sp] = static_cast<std::int16_t>(v);
      newSp = sp + 1;
      break;
    }
    case Op::GOTO:
      pc = word();
      break;
    case Op::IF: {
      const std::uint16_t target = word();
      QMT_NEED(1);
      newSp = sp - 1;
      if (m.S[sp - 1] == 0) pc = target;
      break;
    }
    case Op::GOSUB: {
      const std::uint16_t target = word();
      if (m.RSP >= kReturnStackSize) return fault(kErrReturnOverflow);
      m.RS[m.RSP++] = pc;
      pc = target;
      break;
    }
    case Op::EXIT:
      if (m.RSP > 0) {
        pc = m.RS[--m.RSP];
        break;
      }
      m.stopped = 1;
      m.PC = pc;
      return 1;
    case Op::CALL: {
      const std::uint16_t target = word();
      const std::uint8_t argc = byte();
      if (m.RSP >= kReturnStackSize) return fault(kErrReturnOverflow);
      QMT_ROOM(2);
      m.RS[m.RSP++] = pc;
      m.S[sp] = m.FP;
      m.S[sp + 1] = m.AC;
      m.AC = argc;
      m.FP = static_cast<std::uint8_t>(sp + 2);
      newSp = m.FP;
      pc = target;
      break;
    }
    case Op::DO: {
      if (m.RSP >= kReturnStackSize) return fault(kErrReturnOverflow);
      QMT_ROOM(2);
      m.RS[m.RSP++] = pc;
      m.S[sp] = m.FP;
      m.S[sp + 1] = m.AC;
      m.AC = 1;
      m.FP = static_cast<std::uint8_t>(sp + 2);
      newSp = m.FP;
      break;
    }
    case Op::RET:
    case Op::WHILE: {
      QMT_NEED(1);
      const std::int16_t v = m.S[sp - 1];
      const unsigned top = sp - 1;  // stack height after the pop
      if (static_cast<Op>(op) == Op::RET && m.RSP == 0) {
        m.S[0] = v;
        m.SP = static_cast<std::uint8_t>(top);
        m.stopped = 1;
        m.PC = pc;
        return 1;
      }
      if (m.RSP == 0) return fault(kErrReturnUnderflow);
      if (static_cast<Op>(op) == Op::WHILE && v != 0) {
        newSp = top;
        pc = m.RS[m.RSP - 1];
        break;
      }
      // Drop the frame: its values, the two saved words and its arguments.
      const unsigned fp = m.FP;
      const unsigned n = m.AC;
      if (fp < 2 || fp > top || fp - 2 < n) return fault(kErrStackUnderflow);
      m.AC = static_cast<std::uint8_t>(m.S[fp - 1]);
      m.FP = static_cast<std::uint8_t>(m.S[fp - 2]);
      unsigned rest = fp - 2 - n;
      if (static_cast<Op>(op) == Op::RET) {
        pc = m.RS[--m.RSP];
        m.S[rest++] = v;
      } else {
        --m.RSP;
      }
      newSp = rest;
      break;
    }
    case Op::FUNC: {
      const std::uint16_t id = word();
      const std::uint8_t argc = byte();
      if (argc > sp) return fault(kErrStackUnderflow);
      if (argc == 0) {
        QMT_ROOM(1);
      }
      m.PC = pc;  // a built-in's error names the address after the call
      const std::int16_t r = m.callFunction(m.user, id, argc, &m.S[sp - argc]);
      m.S[sp - argc] = r;
      newSp = sp - argc + 1;
      break;
    }
    case Op::GETEXT: {
      const std::uint8_t id = byte();
      QMT_ROOM(1);
      m.S[sp] = m.getExternal(m.user, id);
      newSp = sp + 1;
      break;
    }
    case Op::SETEXT: {
      const std::uint8_t id = byte();
      QMT_NEED(1);
      newSp = sp - 1;
      m.putExternal(m.user, id, m.S[sp - 1]);
      break;
    }
    case Op::GET: {
      const std::uint8_t slot = byte();
      QMT_ROOM(1);
      m.S[sp] = m.L[slot];
      newSp = sp + 1;
      break;
    }
    case Op::SET: {
      const std::uint8_t slot = byte();
      QMT_NEED(1);
      m.L[slot] = m.S[sp - 1];
      newSp = sp - 1;
      break;
    }
    case Op::GETARG: {
      const int i = argIndex(byte());
      QMT_ROOM(1);
      if (i < 0 || i >= static_cast<int>(sp)) return fault(kErrArgumentIndex);
      m.S[sp] = m.S[i];
      newSp = sp + 1;
      break;
    }
    case Op::SETARG: {
      const int i = argIndex(byte());
      QMT_NEED(1);
      if (i < 0 || i >= static_cast<int>(sp) - 1) return fault(kErrArgumentIndex);
      m.S[i] = m.S[sp - 1];
      newSp = sp - 1;
      break;
    }
    default:
      // Bytes that are no instruction are skipped one at a time.
      break;
  }
#undef QMT_NEED
#undef QMT_ROOM
#undef QMT_BINARY
  m.SP = static_cast<std::uint8_t>(newSp);
  m.PC = pc;
  return 0;
}

}  // namespace qmt
