// Fused handlers: StepMany's threaded loop runs the frequent short sequences
// of instructions (a variable and a number under an operator, a compare and
// its IF or WHILE, an operator and the store of its result) in one handler
// each.  The P-code stays as it is: a dispatch map made when an image is
// loaded holds, for every code byte, the byte that selects its handler,
// which is the opcode itself except where a fused sequence starts.
//
// A fused handler does exactly what its instructions would do one by one,
// stack cells above the top included, and counts as that many instructions.
// Where one of them would fault, or the budget ends inside the sequence, it
// runs the first instruction's plain handler instead, so faults, budgets and
// the registers come out as with single steps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/machine.h"

namespace qmt {

// Operators fused after two pushed operands.  DIV is left out: its zero
// check would be one more way to fall back.
#define QMT_FUSED_VALUE_OPS(X, kind, src) \
  X(kind, src, AND) X(kind, src, OR) X(kind, src, XOR) X(kind, src, ADD) X(kind, src, SUB) X(kind, src, MUL) \
  X(kind, src, LT) X(kind, src, GT) X(kind, src, EQ) X(kind, src, GE) X(kind, src, LE)
// Compares fused with the IF or WHILE that tests them.
#define QMT_FUSED_TEST_OPS(X, kind, src) \
  X(kind, src, LT) X(kind, src, GT) X(kind, src, EQ) X(kind, src, GE) X(kind, src, LE)
// Operators of `x = x + n` and `x = x - n`.
#define QMT_FUSED_STEP_OPS(X, kind, src) X(kind, src, ADD) X(kind, src, SUB)

// Every fused handler as X(kind, source, operator).  The kinds:
//   PushOp       Get/Get@ v, Num n, op                 3 instructions
//   PushOpIf     Get/Get@ v, Num n, compare, IF t      4
//   PushOpWhile  Get/Get@ v, Num n, compare, While     4
//   PushOpSet    Get v, Num n, op, Set w  /  Get@ v, Num n, op, Set@ w   4
//   OpIf         compare, IF t                         2
//   OpSet        op, Set w  /  op, Set@ w              2
// The source is GET or GETARG (for OpSet: the store is SET or SETARG).
#define QMT_FUSED_HANDLERS(X)                  \
  QMT_FUSED_VALUE_OPS(X, PushOp, GET)          \
  QMT_FUSED_VALUE_OPS(X, PushOp, GETARG)       \
  QMT_FUSED_TEST_OPS(X, PushOpIf, GET)         \
  QMT_FUSED_TEST_OPS(X, PushOpIf, GETARG)      \
  QMT_FUSED_TEST_OPS(X, PushOpWhile, GET)      \
  QMT_FUSED_TEST_OPS(X, PushOpWhile, GETARG)   \
  QMT_FUSED_STEP_OPS(X, PushOpSet, GET)        \
  QMT_FUSED_STEP_OPS(X, PushOpSet, GETARG)     \
  QMT_FUSED_TEST_OPS(X, OpIf, GET)             \
  QMT_FUSED_VALUE_OPS(X, OpSet, GET)           \
  QMT_FUSED_VALUE_OPS(X, OpSet, GETARG)

namespace fused {

enum class Kind : std::uint8_t { PushOp, PushOpIf, PushOpWhile, PushOpSet, OpIf, OpSet };

#define QMT_FUSED_COUNT(kind, src, op) +1
inline constexpr int kHandlerCount = 0 QMT_FUSED_HANDLERS(QMT_FUSED_COUNT);
#undef QMT_FUSED_COUNT

// The map byte of handler `index`: bytes that no instruction uses, from the
// unused part of the 4-byte range and then of the 2-byte range.
constexpr std::uint8_t Selector(int index) {
  return static_cast<std::uint8_t>(index < 62 ? 0x82 + index : 0xC6 + (index - 62));
}
static_assert(kHandlerCount <= 62 + 58, "too many fused handlers for the free bytes");

// Whether a map byte selects a fused handler.
constexpr bool IsSelector(std::uint8_t b) { return (b >= 0x82 && b <= 0xBF) || b >= 0xC6; }

// The longest fused sequence in bytes: Get, Num, an operator and IF.
inline constexpr int kLongestSequence = 2 + 3 + 1 + 3;

// What the map holds for a byte that is no instruction (the plain handler
// for such bytes takes the opcode from the code itself).
inline constexpr std::uint8_t kOtherSelector = 0x01;

}  // namespace fused

using TDispatchMap = std::array<std::uint8_t, kCodeAreaSize>;

// Makes the dispatch map of a code area whose first `imageSize` bytes are
// the image (the rest is zero).  Sequences are fused where the instructions
// decoded from CodeStart on lie.
void BuildDispatchMap(const TCodeArea& code, std::size_t imageSize, TDispatchMap& map);

// The map of `code`, a copy of `loaded` with some bytes changed (the
// debugger's breakpoints): `loadedMap` (the map of `loaded`) with every
// changed byte dispatched as it now is and every fused sequence that
// covers a changed byte run instruction by instruction.
void PatchDispatchMap(const TCodeArea& loaded, const TDispatchMap& loadedMap, const TCodeArea& code,
                      TDispatchMap& map);

}  // namespace qmt
