// The body of Step, kept inline so that the loops that drive the machine one
// instruction at a time (the traced run, tests, benchmarks) run it without a
// call per instruction.  Included by machine.h; not for direct use.
//
// One switch on the opcode per step.  The cases come from instructions.inc,
// which StepMany's threaded loop expands as well, so both execute exactly
// the same instructions.
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

// The operators that take two operands and cannot fault, as X(name, value
// of a and b): the plain handlers and the fused ones both expand them.
#define QMT_BINARY_OPERATORS(X)                                              \
  X(AND, static_cast<std::int16_t>(a & b))                                   \
  X(OR, static_cast<std::int16_t>(a | b))                                    \
  X(XOR, static_cast<std::int16_t>(a ^ b))                                   \
  X(ADD, step_detail::Wrap(std::uint32_t{step_detail::U(a)} + step_detail::U(b))) \
  X(SUB, step_detail::Wrap(std::uint32_t{step_detail::U(a)} - step_detail::U(b))) \
  X(MUL, step_detail::Wrap(std::uint32_t{step_detail::U(a)} * step_detail::U(b))) \
  X(LT, static_cast<std::int16_t>(a < b))                                    \
  X(GT, static_cast<std::int16_t>(a > b))                                    \
  X(EQ, static_cast<std::int16_t>(a == b))                                   \
  X(GE, static_cast<std::int16_t>(a >= b))                                   \
  X(LE, static_cast<std::int16_t>(a <= b))

#define QMT_BINARY_FUNCTION(name, expr) \
  inline std::int16_t Binary_##name(std::int16_t a, std::int16_t b) { return (expr); }
QMT_BINARY_OPERATORS(QMT_BINARY_FUNCTION)
#undef QMT_BINARY_FUNCTION

// Index of argument n of the current frame; negative when it lies below the
// stack.
inline int ArgIndex(const TMachine& m, int n) { return static_cast<int>(m.FP) - 2 - static_cast<int>(m.AC) + n; }

// Stores the registers an instruction works on in locals.
inline void Save(TMachine& m, std::uint16_t pc, unsigned sp) {
  m.SP = static_cast<std::uint8_t>(sp);
  m.PC = pc;
}

}  // namespace step_detail

[[gnu::always_inline]] inline int Step(TRuntimeContext& context) {
  TMachine& m = context.machine;
  if (m.stopped) return 1;
  const std::uint8_t* const code = m.code;
  std::uint16_t pc = m.PC;
  unsigned sp = m.SP;
  const std::uint8_t op = code[pc++];
  m.opcode = op;

#define QMT_CASE(name) case Op::name:
#define QMT_OTHER default:
#define QMT_NEXT()                    \
  do {                                \
    step_detail::Save(m, pc, sp);     \
    return 0;                         \
  } while (0)
#define QMT_STOP()                    \
  do {                                \
    m.stopped = 1;                    \
    step_detail::Save(m, pc, sp);     \
    return 1;                         \
  } while (0)
// sp is still the height before the instruction.
#define QMT_FAULT(error)              \
  do {                                \
    context.errorCode = (error);      \
    step_detail::Save(m, pc, sp);     \
    return 0;                         \
  } while (0)
#define QMT_SYNC() step_detail::Save(m, pc, sp)
#define QMT_CALLED() QMT_NEXT()

  switch (static_cast<Op>(op)) {
#include "runtime/instructions.inc"
  }
}

}  // namespace qmt
