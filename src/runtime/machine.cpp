// Machine set-up and error names; Step itself is inline (step.h).
#include "runtime/machine.h"

#include <array>

#include "runtime/fused.h"
#include "support/encoding.h"

namespace qmt {
namespace {

std::int16_t GetExternalCell(void* user, std::uint8_t id) {
  return static_cast<TRuntimeContext*>(user)->externals[id];
}

void PutExternalCell(void* user, std::uint8_t id, std::int16_t value) {
  static_cast<TRuntimeContext*>(user)->externals[id] = value;
}

}  // namespace

void InitMachine(TMachine& machine, const TCodeArea& code) {
  machine.code = code.data();
  machine.dispatch = nullptr;
  machine.stopped = 0;
  machine.PC = static_cast<std::uint16_t>(code[0] | (code[1] << 8));
  machine.SP = 0;
  machine.FP = 0;
  machine.AC = 0;
  machine.RSP = 0;
}

void InitContext(TRuntimeContext& context, const TCodeArea& code, std::int16_t* externals) {
  TMachine& m = context.machine;
  m.getExternal = GetExternalCell;
  m.putExternal = PutExternalCell;
  m.callFunction = CallBuiltin;
  m.user = &context;
  context.externals = externals;
  InitMachine(m, code);
}

#if defined(__GNUC__)

namespace {

// The handler number of every byte: the instructions in the order of
// opcodes.h, then one for the bytes that are no instruction.
struct HandlerIndex {
  std::uint8_t of[256];
  constexpr HandlerIndex() : of{} {
    int n = 0;
#define QMT_COUNT(name, code, mnemonic, kind) ++n;
    QMT_OPCODES(QMT_COUNT)
#undef QMT_COUNT
    for (std::uint8_t& h : of) h = static_cast<std::uint8_t>(n);
    int i = 0;
#define QMT_NUMBER(name, code, mnemonic, kind) of[code] = static_cast<std::uint8_t>(i++);
    QMT_OPCODES(QMT_NUMBER)
#undef QMT_NUMBER
  }
};
constexpr HandlerIndex kHandlerIndex{};

// The handler address of every byte, made once from the handlers of the
// instructions: one load per dispatch.
struct DispatchTable {
  const void* at[256];
  explicit DispatchTable(const void* const* handlers) {
    for (int b = 0; b < 256; ++b) at[b] = handlers[kHandlerIndex.of[b]];
  }
  // The same with the fused handlers on their selectors (fused.h).
  DispatchTable(const void* const* handlers, const void* const* fusedHandlers) : DispatchTable(handlers) {
    for (int i = 0; i < fused::kHandlerCount; ++i) at[fused::Selector(i)] = fusedHandlers[i];
  }
};

#if defined(__wasm__)
// The number of a fused handler, counted as fused.h lists them.
constexpr int FusedIndex(fused::Kind kind, bool arg, Op op) {
  int index = 0;
#define QMT_FUSED_FIND(k, src, opn)                                                              \
  if (kind == fused::Kind::k && arg == (Op::src == Op::GETARG) && op == Op::opn) return index; \
  ++index;
  QMT_FUSED_HANDLERS(QMT_FUSED_FIND)
#undef QMT_FUSED_FIND
  return -1;
}
#endif

}  // namespace

// Threaded: every handler ends in its own jump to the next one (a GNU
// extension, labels as values), which the processor predicts far better
// than the single jump of a switch.  With a dispatch map the frequent
// sequences run in one fused handler each.
long StepMany(TRuntimeContext& context, long limit) {
  TMachine& m = context.machine;
  if (m.stopped || limit <= 0) return 0;
#if defined(__wasm__)
  // WebAssembly has no jump to an address: a jump through a table of labels
  // becomes a load from the table and then a switch on what it held.  The
  // switch on the map byte itself does without the load.
  const bool fusedMap = m.dispatch != nullptr;
#else
  static const void* const kHandlers[] = {
#define QMT_HANDLER(name, code, mnemonic, kind) &&op_##name,
      QMT_OPCODES(QMT_HANDLER)
#undef QMT_HANDLER
      &&op_other,
  };
  static const void* const kFusedHandlers[] = {
#define QMT_FUSED_LABEL(kind, src, op) &&fused_##kind##_##src##_##op,
      QMT_FUSED_HANDLERS(QMT_FUSED_LABEL)
#undef QMT_FUSED_LABEL
  };
  static const DispatchTable kPlain(kHandlers);
  static const DispatchTable kFused(kHandlers, kFusedHandlers);
  const void* const* const table = m.dispatch ? kFused.at : kPlain.at;
#endif
  const std::uint8_t* const code = m.code;
  const std::uint8_t* const map = m.dispatch ? m.dispatch : code;
  std::uint16_t pc = m.PC;
  unsigned sp = m.SP;
  long left = limit;  // instructions still allowed, the current one included
  std::uint8_t op;

#if defined(__wasm__)
#define QMT_DISPATCH()                        \
  do {                                        \
    op = map[pc++];                           \
    goto dispatch;                            \
  } while (0)
  // A fused handler's first instruction on its own: never a selector.
#define QMT_DISPATCH_PLAIN() goto dispatch
#else
#define QMT_DISPATCH()                        \
  do {                                        \
    op = map[pc++];                           \
    m.opcode = op;                            \
    goto* table[op];                          \
  } while (0)
#define QMT_DISPATCH_PLAIN() goto* kPlain.at[op]
#endif
#define QMT_CASE(name) op_##name:
  // The map holds one selector for all bytes that are no instruction.
#define QMT_OTHER \
  op_other:       \
  m.opcode = code[static_cast<std::uint16_t>(pc - 1)];
#define QMT_NEXT()                  \
  do {                              \
    if (--left == 0) goto done;     \
    QMT_DISPATCH();                 \
  } while (0)
#define QMT_STOP()       \
  do {                   \
    m.stopped = 1;       \
    goto finish;         \
  } while (0)
#define QMT_FAULT(error)              \
  do {                                \
    context.errorCode = (error);      \
    goto finish;                      \
  } while (0)
#define QMT_SYNC() step_detail::Save(m, pc, sp)
  // A host function may have failed; a stop it asked for ends the run too.
#define QMT_CALLED()                                       \
  do {                                                     \
    if (context.errorCode != 0 || m.stopped) goto finish;  \
    QMT_NEXT();                                            \
  } while (0)

  QMT_DISPATCH();
#if defined(__wasm__)
dispatch:
  m.opcode = op;
  switch (op) {
#define QMT_HANDLER_CASE(name, code, mnemonic, kind) \
  case code:                                         \
    goto op_##name;
    QMT_OPCODES(QMT_HANDLER_CASE)
#undef QMT_HANDLER_CASE
    // Without a map these bytes are in the code and no instruction.
#define QMT_FUSED_CASE(kind, src, opn)                                                       \
  case fused::Selector(FusedIndex(fused::Kind::kind, Op::src == Op::GETARG, Op::opn)):      \
    if (!fusedMap) goto op_other;                                                            \
    goto fused_##kind##_##src##_##opn;
    QMT_FUSED_HANDLERS(QMT_FUSED_CASE)
#undef QMT_FUSED_CASE
    default:
      goto op_other;
  }
#endif
#include "runtime/instructions.inc"
#include "runtime/fused.inc"

finish:  // the current instruction stopped, failed or called a failing host
  step_detail::Save(m, pc, sp);
  return limit - left + 1;
done:
  step_detail::Save(m, pc, sp);
  return limit;

#undef QMT_DISPATCH
#undef QMT_DISPATCH_PLAIN
}

#else

long StepMany(TRuntimeContext& context, long limit) {
  long ran = 0;
  while (ran < limit && !context.machine.stopped) {
    ++ran;
    if (Step(context) || context.errorCode != 0) break;
  }
  return ran;
}

#endif

const std::string& ErrorName(std::uint16_t code) {
  static const std::array<std::string, 14> names = {
      std::string(),
      Sjis("引数の数が合わない"),
      Sjis("未定義関数"),
      Sjis("未定義命令"),
      Sjis("textコマンドの異常"),
      Sjis("パラメータが無い"),
      Sjis("スタックあふれ"),
      Sjis("スタック不足"),
      Sjis("リターンスタックあふれ"),
      Sjis("リターンスタック不足"),
      Sjis("引数番号の異常"),
      Sjis("ゼロ除算"),
      Sjis("コマンド行が長すぎる"),
      Sjis("コマンド行が多すぎる"),
  };
  return code < names.size() ? names[code] : names[0];
}

}  // namespace qmt
