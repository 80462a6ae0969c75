// The dispatch map: the opcode of every byte, with the start of each
// fusable sequence replaced by the selector of its handler.
#include "runtime/fused.h"

#include <algorithm>
#include "compiler/opcodes.h"

namespace qmt {
namespace {

using fused::Kind;

constexpr int kKinds = 6;

// selector[kind][source is GETARG][operator opcode]; 0 where none.
struct SelectorTable {
  std::uint8_t of[kKinds][2][256] = {};
  SelectorTable() {
    int index = 0;
#define QMT_FUSED_ENTRY(kind, src, op) \
  of[static_cast<int>(Kind::kind)][Op::src == Op::GETARG][static_cast<int>(Op::op)] = fused::Selector(index++);
    QMT_FUSED_HANDLERS(QMT_FUSED_ENTRY)
#undef QMT_FUSED_ENTRY
  }
  std::uint8_t Find(Kind kind, bool arg, std::uint8_t op) const { return of[static_cast<int>(kind)][arg][op]; }
};

// Which bytes are instructions.
struct OpcodeSet {
  bool is[256] = {};
  constexpr OpcodeSet() {
#define QMT_MARK(name, code, mnemonic, kind) is[code] = true;
    QMT_OPCODES(QMT_MARK)
#undef QMT_MARK
  }
};
constexpr OpcodeSet kOpcodes{};

// The map's bytes that select a fused handler, or stand for a byte that is
// no instruction, must never be taken for an instruction.
constexpr bool SelectorsAreNoOpcodes() {
  if (kOpcodes.is[fused::kOtherSelector] || fused::IsSelector(fused::kOtherSelector)) return false;
  for (int i = 0; i < fused::kHandlerCount; ++i)
    if (kOpcodes.is[fused::Selector(i)] || !fused::IsSelector(fused::Selector(i))) return false;
  for (int b = 0; b < 256; ++b)
    if (kOpcodes.is[b] && fused::IsSelector(static_cast<std::uint8_t>(b))) return false;
  return true;
}
static_assert(SelectorsAreNoOpcodes(), "a fused handler's selector is also an opcode");

bool Is(std::uint8_t byte, Op op) { return byte == static_cast<std::uint8_t>(op); }

}  // namespace

void BuildDispatchMap(const TCodeArea& code, std::size_t imageSize, TDispatchMap& map) {
  static const SelectorTable selectors;
  imageSize = std::min(imageSize, kCodeAreaSize);
  // The whole area, so that a jump past the image still dispatches right.
  for (std::size_t i = 0; i < kCodeAreaSize; ++i) map[i] = kOpcodes.is[code[i]] ? code[i] : fused::kOtherSelector;
  if (imageSize < 2) return;

  // The instructions from CodeStart to the end of the image, as the
  // compiler laid them out; each start is tried for the longest sequence.
  std::size_t at = static_cast<std::size_t>(code[0] | (code[1] << 8));
  while (at < imageSize) {
    const std::uint8_t op0 = code[at];
    const int length0 = InstructionLength(op0);
    if (length0 == 0 || op0 == 0) {
      at += 1;
      continue;
    }
    // Up to four instructions, all inside the image.
    std::uint8_t ops[4] = {op0, 0, 0, 0};
    int count = 1;
    for (std::size_t p = at + static_cast<std::size_t>(length0); count < 4 && p < imageSize; ++count) {
      ops[count] = code[p];
      const int length = InstructionLength(code[p]);
      if (length == 0 || code[p] == 0 || p + static_cast<std::size_t>(length) > imageSize) break;
      p += static_cast<std::size_t>(length);
    }
    std::uint8_t selector = 0;
    const bool pushed = (Is(op0, Op::GET) || Is(op0, Op::GETARG)) && count >= 3 && Is(ops[1], Op::NUM);
    const bool arg = Is(op0, Op::GETARG);
    if (pushed && count >= 4) {
      if (Is(ops[3], Op::IF)) selector = selectors.Find(Kind::PushOpIf, arg, ops[2]);
      if (Is(ops[3], Op::WHILE)) selector = selectors.Find(Kind::PushOpWhile, arg, ops[2]);
      if (Is(ops[3], arg ? Op::SETARG : Op::SET)) selector = selectors.Find(Kind::PushOpSet, arg, ops[2]);
    }
    if (selector == 0 && pushed) selector = selectors.Find(Kind::PushOp, arg, ops[2]);
    if (selector == 0 && count >= 2) {
      if (Is(ops[1], Op::IF)) selector = selectors.Find(Kind::OpIf, false, op0);
      if (Is(ops[1], Op::SET)) selector = selectors.Find(Kind::OpSet, false, op0);
      if (Is(ops[1], Op::SETARG)) selector = selectors.Find(Kind::OpSet, true, op0);
    }
    if (selector != 0 && at + static_cast<std::size_t>(length0) <= imageSize) map[at] = selector;
    at += static_cast<std::size_t>(length0);
  }
}

void PatchDispatchMap(const TCodeArea& loaded, const TDispatchMap& loadedMap, const TCodeArea& code,
                      TDispatchMap& map) {
  map = loadedMap;
  for (std::size_t p = 0; p < kCodeAreaSize; ++p) {
    if (code[p] == loaded[p]) continue;
    map[p] = kOpcodes.is[code[p]] ? code[p] : fused::kOtherSelector;
    for (std::size_t back = 1; back < fused::kLongestSequence && back <= p; ++back) {
      const std::size_t q = p - back;
      if (fused::IsSelector(map[q])) map[q] = code[q];  // a fused start is an instruction
    }
  }
}

}  // namespace qmt
