#include "runtime/debugger.h"

#include <algorithm>
#include <charconv>

#include "compiler/opcodes.h"
#include "support/encoding.h"
#include "support/name_case.h"

namespace qmt {
namespace {

constexpr long kExpressionSteps = 10000;

std::int16_t RefuseFunction(void* user, std::uint16_t, std::uint8_t, const std::int16_t*) {
  static_cast<TRuntimeContext*>(user)->errorCode = kErrUndefinedFunction;
  return 0;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "@n" with n a decimal number: n, else -1.
int ArgumentNumber(std::string_view s) {
  if (s.size() < 2 || s[0] != '@') return -1;
  int n = -1;
  auto [end, ec] = std::from_chars(s.data() + 1, s.data() + s.size(), n);
  if (ec != std::errc() || end != s.data() + s.size() || n < 0 || n > 255) return -1;
  return n;
}

std::string LineText(int line) { return std::to_string(static_cast<long long>(line) + 1); }

}  // namespace

TDebugger::TDebugger(TRunner& runner)
    : runner_(runner), flags_(kCodeAreaSize, 0), original_(kCodeAreaSize, 0) {
  runner_.Abort();
  runner_.SetHook(this);
}

TDebugger::~TDebugger() {
  // The owner may be half gone by now: a held run ends without a word to it.
  onStopped = nullptr;
  onRunEnded = nullptr;
  onImageLoaded = nullptr;
  runner_.Abort();
  Unpatch();
  if (runner_.Hook() == this) runner_.SetHook(nullptr);
}

void TDebugger::SetDebugInfo(TDebugInfo info) {
  info_ = std::move(info);
  Rebind();
}

const std::vector<TBreakpoint>& TDebugger::SetBreakpoints(const std::vector<TBreakpointRequest>& requests) {
  requests_ = requests;
  Rebind();
  return breakpoints_;
}

void TDebugger::Rebind() {
  Unpatch();
  std::fill(flags_.begin(), flags_.end(), 0);
  for (const TDebugInfo::Statement& s : info_.statements) flags_[s.pc] |= kStatement;
  breakpoints_.clear();
  for (const TBreakpointRequest& r : requests_) {
    TBreakpoint b;
    b.requestedLine = r.line;
    b.condition = r.condition;
    std::optional<TDebugInfo::Statement> at = info_.Bind(r.line);
    if (!at) {
      b.message = LineText(r.line) + Sjis("行目以降にコードがない");
    } else {
      b.line = at->line;
      b.pc = at->pc;
      b.verified = true;
      if (b.line != r.line)
        b.message = LineText(r.line) + Sjis("行目にコードがないので") + LineText(b.line) + Sjis("行目に置いた");
      if (!Trim(r.condition).empty()) {
        std::string error;
        if (!expressionScript_) {
          b.verified = false;
          b.message = Sjis("条件を翻訳できない");
        } else if (!CompileExpression(*expressionScript_, r.condition, info_, b.conditionImage, error)) {
          b.verified = false;
          b.message = Sjis("条件の誤り:") + error;
        }
      }
    }
    if (b.verified) flags_[b.pc] |= kBreak;
    breakpoints_.push_back(std::move(b));
  }
}

int TDebugger::CurrentLine() const { return info_.LineOf(heldPc_); }

// --- running -------------------------------------------------------------

void TDebugger::RunStarted() {
  entryPc_ = runner_.Context().machine.PC;
  resuming_ = false;
}

void TDebugger::RunEnded(TRunEnd end) {
  // A step that runs off the end of its run stops at the next run's first
  // statement: in an event-driven macro that is where execution goes on.
  if (mode_ == Mode::kStepInto || mode_ == Mode::kStepOver || mode_ == Mode::kStepOut) steppedOffRun_ = true;
  if (onRunEnded) onRunEnded(end);
}

// Breakpoints cost nothing while the run goes on: their first bytes are
// replaced by the end-of-code byte, so the runner's own loop runs at full
// speed and returns at one.  Steps and pauses go one Step at a time, with
// the bytes put back.
void TDebugger::Patch() {
  if (patched_) return;
  TCodeArea& code = runner_.MutableCode();
  for (const TBreakpoint& b : breakpoints_) {
    if (!b.verified || (flags_[b.pc] & kPatched)) continue;
    original_[b.pc] = code[b.pc];
    code[b.pc] = static_cast<std::uint8_t>(Op::END);
    flags_[b.pc] |= kPatched;
  }
  patched_ = true;
  runner_.CodeChanged();
}

void TDebugger::Unpatch() {
  if (!patched_) return;
  TCodeArea& code = runner_.MutableCode();
  for (const TBreakpoint& b : breakpoints_) {
    if (!(flags_[b.pc] & kPatched)) continue;
    code[b.pc] = original_[b.pc];
    flags_[b.pc] &= static_cast<std::uint8_t>(~kPatched);
  }
  patched_ = false;
  runner_.CodeChanged();
}

std::uint8_t TDebugger::CodeAt(std::uint16_t p) const {
  return (flags_[p] & kPatched) ? original_[p] : runner_.Code()[p];
}

int TDebugger::StepOriginal(TRuntimeContext& context) {
  const std::uint16_t pc = context.machine.PC;
  if (!(flags_[pc] & kPatched)) return Step(context);
  TCodeArea& code = runner_.MutableCode();
  code[pc] = original_[pc];
  const int stopped = Step(context);
  code[pc] = static_cast<std::uint8_t>(Op::END);
  return stopped;
}

void TDebugger::ImageLoaded() {
  // The new image replaced the patched bytes; its breakpoints come with
  // its line table.
  patched_ = false;
  std::fill(flags_.begin(), flags_.end(), 0);
  info_ = TDebugInfo();
  breakpoints_.clear();
  if (onImageLoaded) onImageLoaded();
}

long TDebugger::Execute(TRuntimeContext& context, long limit, bool& paused) {
  TMachine& m = context.machine;
  const bool resuming = resuming_;
  resuming_ = false;
  // Going on from a run message: the run ends with it.
  if (context.errorCode != 0 || m.stopped || (resuming && reason_ == TStopReason::kException)) return 0;
  long left = limit;
  bool skip = resuming;  // the held instruction runs first, unchecked
  auto hold = [&](std::uint16_t pc) {
    heldPc_ = pc;
    paused = true;
    if (onStopped) onStopped(reason_);
    return limit - left;
  };
  const bool trace = TraceEnabled();
  while (left > 0) {
    if (mode_ == Mode::kRun && !trace) {
      Patch();
      if (skip) {
        skip = false;
        --left;
        if (StepOriginal(context) || context.errorCode != 0) break;
        continue;
      }
      left -= StepMany(context, left);
      if (context.errorCode != 0 || !m.stopped) break;
      const auto at = static_cast<std::uint16_t>(m.PC - 1);
      if (!(flags_[at] & kPatched)) break;  // the program's own end
      // The trap byte is no instruction of the program.
      ++left;
      m.stopped = 0;
      m.PC = at;
      if (StopHere(at)) return hold(at);
      skip = true;
      continue;
    }
    Unpatch();
    const std::uint16_t pc = m.PC;
    if ((flags_[pc] & mask_) != 0 && !skip && StopHere(pc)) return hold(pc);
    skip = false;
    --left;
    if (Step(context)) break;
    if (trace) runner_.TraceStep();
    if (context.errorCode != 0) break;
  }
  if (!stopOnMessage) return limit - left;
  std::uint16_t at = m.PC;
  if (context.errorCode != 0) {
    stopMessage_ = ErrorName(context.errorCode);
    // PC has passed the failing instruction's first byte.
    at = InstructionBefore(static_cast<std::uint16_t>(m.PC - 1));
  } else if (left == 0 && !m.stopped) {
    stopMessage_ = Sjis("無限ループ");
  } else {
    return limit - left;
  }
  reason_ = TStopReason::kException;
  mode_ = Mode::kRun;
  mask_ = kBreak;
  return hold(at);
}

std::uint16_t TDebugger::InstructionBefore(std::uint16_t pc) const {
  const auto& list = info_.instructions;
  auto it = std::upper_bound(list.begin(), list.end(), pc,
                             [](std::uint16_t p, const TDebugInfo::Instruction& i) { return p < i.pc; });
  return it == list.begin() ? pc : std::prev(it)->pc;
}

bool TDebugger::StopHere(std::uint16_t pc) {
  stopMessage_.clear();
  const std::uint8_t f = flags_[pc];
  bool stop = false;
  if (f & kStatement) {
    switch (mode_) {
      case Mode::kRun:
        break;
      case Mode::kEntry:
        reason_ = TStopReason::kEntry;
        stop = true;
        break;
      case Mode::kPause:
        reason_ = TStopReason::kPause;
        stop = true;
        break;
      case Mode::kStepInto:
      case Mode::kStepOver:
      case Mode::kStepOut: {
        const int depth = CallDepth();
        const int line = info_.LineOf(pc);
        const bool other = line != stepLine_ || pc <= stepPc_;
        if (steppedOffRun_) {
          stop = true;
        } else if (mode_ == Mode::kStepInto) {
          stop = depth != stepDepth_ || other;
        } else if (mode_ == Mode::kStepOver) {
          stop = depth < stepDepth_ || (depth == stepDepth_ && other);
        } else {
          stop = depth < stepDepth_;
        }
        if (stop) reason_ = TStopReason::kStep;
        break;
      }
    }
  }
  if (!stop && (f & kBreak)) {
    for (const TBreakpoint& b : breakpoints_) {
      if (!b.verified || b.pc != pc || !ConditionHolds(b)) continue;
      reason_ = TStopReason::kBreakpoint;
      stop = true;
      break;
    }
  }
  if (stop) {
    mode_ = Mode::kRun;
    mask_ = kBreak;
    steppedOffRun_ = false;
  }
  return stop;
}

bool TDebugger::ConditionHolds(const TBreakpoint& b) {
  if (b.conditionImage.empty()) return true;
  std::int16_t value = 0;
  std::string error;
  // A condition that fails to evaluate stops, and says why.
  if (!RunExpression(b.conditionImage, 0, value, error)) {
    stopMessage_ = Sjis("条件の誤り:") + error;
    return true;
  }
  return value != 0;
}

TRunEnd TDebugger::Go(Mode mode) {
  if (!Held()) return TRunEnd::kStopped;
  stepLine_ = info_.LineOf(heldPc_);
  stepDepth_ = CallDepth();
  stepPc_ = heldPc_;
  mode_ = mode;
  mask_ = static_cast<std::uint8_t>(mode == Mode::kRun ? kBreak : kBreak | kStatement);
  steppedOffRun_ = false;
  resuming_ = true;
  return runner_.Resume();
}

TRunEnd TDebugger::Continue() { return Go(Mode::kRun); }
TRunEnd TDebugger::StepOver() { return Go(Mode::kStepOver); }
TRunEnd TDebugger::StepInto() { return Go(Mode::kStepInto); }
TRunEnd TDebugger::StepOut() { return Go(Mode::kStepOut); }

void TDebugger::Pause() {
  if (Held()) return;
  mode_ = Mode::kPause;
  mask_ = kBreak | kStatement;
}

void TDebugger::Stop() {
  mode_ = Mode::kRun;
  mask_ = kBreak;
  steppedOffRun_ = false;
  reason_ = TStopReason::kNone;
  runner_.Abort();
}

// --- the stack -------------------------------------------------------------

std::uint8_t TDebugger::EntryKind(int i) const {
  const TMachine& m = runner_.Context().machine;
  const int ret = m.RS[i];
  auto at = [&](int back, Op op) {
    if (ret < back) return false;
    const auto p = static_cast<std::uint16_t>(ret - back);
    return CodeAt(p) == static_cast<std::uint8_t>(op) && (info_.Empty() || info_.IsInstruction(p));
  };
  if (at(4, Op::CALL)) return static_cast<std::uint8_t>(Op::CALL);
  if (at(3, Op::GOSUB)) return static_cast<std::uint8_t>(Op::GOSUB);
  if (at(1, Op::DO)) return static_cast<std::uint8_t>(Op::DO);
  return 0;
}

int TDebugger::CallDepth(int n) const {
  int depth = 0;
  for (int i = 0; i < n; ++i) {
    const std::uint8_t kind = EntryKind(i);
    if (kind == static_cast<std::uint8_t>(Op::CALL) || kind == static_cast<std::uint8_t>(Op::GOSUB)) ++depth;
  }
  return depth;
}

std::pair<int, int> TDebugger::FrameOf(int n) const {
  const TMachine& m = runner_.Context().machine;
  int outer = 0;
  for (int i = n; i < m.RSP; ++i) {
    const std::uint8_t kind = EntryKind(i);
    if (kind == static_cast<std::uint8_t>(Op::CALL) || kind == static_cast<std::uint8_t>(Op::DO)) ++outer;
  }
  int fp = m.FP, ac = m.AC;
  for (; outer > 0; --outer) {
    if (fp < 2 || fp > m.SP) return {0, 0};
    const int savedFp = m.S[fp - 2];
    ac = static_cast<std::uint8_t>(m.S[fp - 1]);
    fp = static_cast<std::uint8_t>(savedFp);
  }
  return {fp, ac};
}

int TDebugger::EntriesOf(int frame) const {
  if (frame <= 0) return runner_.Context().machine.RSP;
  const std::vector<TStackFrame> frames = StackTrace();
  if (frame >= static_cast<int>(frames.size())) return 0;
  return frames[static_cast<std::size_t>(frame)].depth;
}

std::vector<TStackFrame> TDebugger::StackTrace() const {
  const TMachine& m = runner_.Context().machine;
  const TCodeArea& code = runner_.Code();
  const std::span<const std::uint8_t> image(code.data(), code.size());
  auto nameAt = [&](std::uint16_t address) {
    if (const TDebugInfo::Label* l = info_.LabelAt(address)) return l->name;
    if (const TDebugInfo::Label* l = info_.LabelBefore(address)) return l->name;
    return std::string();
  };
  std::vector<TStackFrame> frames;
  std::uint16_t pc = Held() ? heldPc_ : m.PC;
  int depth = m.RSP;
  for (int i = m.RSP - 1; i >= 0; --i) {
    const std::uint8_t kind = EntryKind(i);
    int back = kind == static_cast<std::uint8_t>(Op::CALL) ? 4 : kind == static_cast<std::uint8_t>(Op::GOSUB) ? 3 : 0;
    if (back == 0) continue;
    const auto call = static_cast<std::uint16_t>(m.RS[i] - back);
    frames.push_back({nameAt(ReadWord(image, call + 1u)), info_.LineOf(pc), pc, depth});
    pc = call;
    depth = i;
  }
  frames.push_back({nameAt(entryPc_), info_.LineOf(pc), pc, depth});
  return frames;
}

// --- variables -------------------------------------------------------------

std::vector<TVariable> TDebugger::Locals() const {
  const TMachine& m = runner_.Context().machine;
  std::vector<TVariable> out;
  for (const TDebugInfo::Variable& v : info_.variables)
    if (!v.external && v.slot >= 0 && v.slot < kLocalCount) out.push_back({v.name, m.L[v.slot]});
  std::sort(out.begin(), out.end(), [](const TVariable& a, const TVariable& b) { return a.name < b.name; });
  return out;
}

std::vector<TVariable> TDebugger::Arguments(int frame) const {
  const TMachine& m = runner_.Context().machine;
  const auto [fp, ac] = FrameOf(EntriesOf(frame));
  std::vector<TVariable> out;
  for (int n = 0; n < ac; ++n) {
    const int i = fp - 2 - ac + n;
    if (i < 0 || i >= m.SP) break;
    out.push_back({"@" + std::to_string(n), m.S[i]});
  }
  return out;
}

std::vector<TVariable> TDebugger::Externals() const {
  std::vector<TVariable> out;
  for (const auto& [name, id] : externalNames_)
    if (!name.empty() && id >= 0 && id < kExternalCount) out.push_back({name, runner_.externals[static_cast<std::size_t>(id)]});
  return out;
}

bool TDebugger::RunExpression(const TAByte& image, int frame, std::int16_t& value, std::string& error) {
  if (!scratchCode_) {
    scratchCode_ = std::make_unique<TCodeArea>();
    scratchCode_->fill(0);
  }
  TCodeArea& area = *scratchCode_;
  const std::size_t size = std::min(image.size(), area.size());
  std::fill(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(scratchUsed_), 0);
  std::copy(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size), area.begin());
  scratchUsed_ = size;

  TRuntimeContext context;
  context.externals = runner_.externals.data();
  context.machine = runner_.Context().machine;
  TMachine& m = context.machine;
  // The expression gets a stack of its own: the frame's arguments and its
  // two saved cells at the bottom, the rest free, so a full program stack
  // does not make it overflow.
  auto [fp, ac] = FrameOf(EntriesOf(frame));
  if (fp - 2 - ac < 0 || fp > m.SP) fp = ac = 0;
  const int base = fp == 0 ? 0 : fp - 2 - ac;
  const int kept = fp - base;
  std::copy(runner_.Context().machine.S + base, runner_.Context().machine.S + fp, m.S);
  m.SP = static_cast<std::uint8_t>(kept);
  m.FP = static_cast<std::uint8_t>(kept);
  m.AC = static_cast<std::uint8_t>(ac);
  m.code = area.data();
  m.dispatch = nullptr;  // the runner's map is of the runner's code
  m.PC = static_cast<std::uint16_t>(area[0] | (area[1] << 8));
  m.stopped = 0;
  m.RSP = 0;
  m.user = &context;
  m.callFunction = RefuseFunction;
  StepMany(context, kExpressionSteps);
  if (context.errorCode != 0) {
    error = ErrorName(context.errorCode);
    return false;
  }
  if (!m.stopped) {
    error = Sjis("式の評価が終わらない");
    return false;
  }
  value = m.S[0];
  return true;
}

bool TDebugger::Evaluate(std::string_view text, std::int16_t& value, std::string& error, int frame) {
  const std::string_view name = Trim(text);
  if (const int n = ArgumentNumber(name); n >= 0) {
    const std::vector<TVariable> args = Arguments(frame);
    if (n >= static_cast<int>(args.size())) {
      error = Sjis("引数番号の異常");
      return false;
    }
    value = args[static_cast<std::size_t>(n)].value;
    return true;
  }
  if (const TDebugInfo::Variable* v = info_.Local(name)) {
    value = runner_.Context().machine.L[v->slot];
    return true;
  }
  for (const auto& [external, id] : externalNames_) {
    if (SameName(external, name)) {
      value = runner_.externals[static_cast<std::size_t>(id)];
      return true;
    }
  }
  if (!expressionScript_) {
    error = Sjis("式を翻訳できない");
    return false;
  }
  TAByte image;
  if (!CompileExpression(*expressionScript_, name, info_, image, error)) return false;
  return RunExpression(image, frame, value, error);
}

bool TDebugger::SetVariable(std::string_view name, std::string_view value, std::int16_t& stored, std::string& error,
                            int frame) {
  name = Trim(name);
  std::int16_t v = 0;
  if (!Evaluate(value, v, error, frame)) return false;
  TMachine& m = runner_.Context().machine;
  if (const int n = ArgumentNumber(name); n >= 0) {
    const auto [fp, ac] = FrameOf(EntriesOf(frame));
    const int i = fp - 2 - ac + n;
    if (n >= ac || i < 0 || i >= m.SP) {
      error = Sjis("引数番号の異常");
      return false;
    }
    m.S[i] = v;
  } else if (const TDebugInfo::Variable* local = info_.Local(name)) {
    m.L[local->slot] = v;
  } else {
    auto found = std::find_if(externalNames_.begin(), externalNames_.end(),
                              [&](const auto& e) { return SameName(e.first, name); });
    if (found == externalNames_.end()) {
      error = Sjis("変数 ") + std::string(name) + Sjis(" が未定義");
      return false;
    }
    runner_.externals[static_cast<std::size_t>(found->second)] = v;
  }
  stored = v;
  return true;
}

}  // namespace qmt
