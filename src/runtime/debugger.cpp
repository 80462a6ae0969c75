#include "runtime/debugger.h"

#include <algorithm>
#include <charconv>

#include "compiler/opcodes.h"
#include "compiler/pcode.h"
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
  onLog = nullptr;
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

const std::vector<TBreakpoint>& TDebugger::SetInstructionBreakpoints(const std::vector<TBreakpointRequest>& requests) {
  instructionRequests_ = requests;
  Rebind();
  return instructionBreakpoints_;
}

TBreakpoint TDebugger::BindRequest(const TBreakpointRequest& r) {
  TBreakpoint b;
  b.requestedLine = r.line;
  b.condition = r.condition;
  b.hitCondition = r.hitCondition;
  b.logMessage = r.logMessage;
  if (r.address >= 0) {
    if (r.address >= static_cast<int>(kCodeAreaSize) || !info_.IsInstruction(static_cast<std::uint16_t>(r.address))) {
      b.message = Sjis("命令の先頭ではない");
      return b;
    }
    b.pc = static_cast<std::uint16_t>(r.address);
    b.line = b.requestedLine = info_.LineOf(b.pc);
    b.verified = true;
  } else {
    std::optional<TDebugInfo::Statement> at = info_.Bind(r.line);
    if (!at) {
      b.message = LineText(r.line) + Sjis("行目以降にコードがない");
      return b;
    }
    b.line = at->line;
    b.pc = at->pc;
    b.verified = true;
    if (b.line != r.line)
      b.message = LineText(r.line) + Sjis("行目にコードがないので") + LineText(b.line) + Sjis("行目に置いた");
  }
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
  if (b.verified) BindExtras(b);
  return b;
}

void TDebugger::Rebind() {
  Unpatch();
  std::fill(flags_.begin(), flags_.end(), 0);
  for (const TDebugInfo::Statement& s : info_.statements) flags_[s.pc] |= kStatement;
  // A breakpoint asked for again keeps its count of hits.
  auto bindAll = [this](const std::vector<TBreakpointRequest>& requests, std::vector<TBreakpoint>& bound) {
    std::vector<TBreakpoint> old = std::move(bound);
    bound.clear();
    for (const TBreakpointRequest& r : requests) {
      TBreakpoint b = BindRequest(r);
      for (const TBreakpoint& o : old) {
        if (o.requestedLine == b.requestedLine && o.pc == b.pc && o.condition == r.condition &&
            o.hitCondition == r.hitCondition && o.logMessage == r.logMessage) {
          b.hits = o.hits;
          break;
        }
      }
      if (b.verified) flags_[b.pc] |= kBreak;
      bound.push_back(std::move(b));
    }
  };
  bindAll(requests_, breakpoints_);
  bindAll(instructionRequests_, instructionBreakpoints_);
  dataBreakpoints_.clear();
  watching_ = false;
  for (const TDataBreakpointRequest& r : dataRequests_) {
    dataBreakpoints_.push_back(BindData(r));
    watching_ |= dataBreakpoints_.back().verified;
  }
}

const std::vector<TDataBreakpoint>& TDebugger::SetDataBreakpoints(const std::vector<TDataBreakpointRequest>& requests) {
  dataRequests_ = requests;
  Rebind();
  return dataBreakpoints_;
}

bool TDebugger::CanWatch(std::string_view name, int frame, std::string& error) {
  TDataBreakpointRequest r;
  r.name = std::string(name);
  r.frame = frame;
  const TDataBreakpoint d = BindData(r);
  error = d.message;
  return d.verified;
}

TDataBreakpoint TDebugger::BindData(const TDataBreakpointRequest& r) {
  TDataBreakpoint d;
  const std::string_view name = Trim(r.name);
  d.name = std::string(name);
  using Kind = TDataBreakpoint::Kind;
  if (const int n = ArgumentNumber(name); n >= 0) {
    const TMachine& m = runner_.Context().machine;
    const auto [fp, ac] = FrameOf(EntriesOf(r.frame));
    const int i = fp - 2 - ac + n;
    if (!Held() || n >= ac || i < 0 || i >= m.SP) {
      d.message = Sjis("引数番号の異常");
      return d;
    }
    d.kind = Kind::kCell;
    d.index = i;
  } else if (const TDebugInfo::Variable* local = info_.Local(name)) {
    d.kind = Kind::kLocal;
    d.index = local->slot;
  } else {
    auto found = std::find_if(externalNames_.begin(), externalNames_.end(),
                              [&](const auto& e) { return SameName(e.first, name); });
    if (found == externalNames_.end()) {
      d.message = Sjis("変数 ") + d.name + Sjis(" が未定義");
      return d;
    }
    d.kind = Kind::kExternal;
    d.index = found->second;
  }
  if (!Trim(r.condition).empty()) {
    std::string error;
    if (!expressionScript_) {
      d.message = Sjis("条件を翻訳できない");
      return d;
    }
    if (!CompileExpression(*expressionScript_, r.condition, info_, d.conditionImage, error)) {
      d.message = Sjis("条件の誤り:") + error;
      return d;
    }
    std::int16_t v = 0;
    d.conditionWas = RunExpression(d.conditionImage, 0, v, error) && v != 0;
  }
  d.verified = true;
  d.last = DataValue(d);
  return d;
}

std::int16_t TDebugger::DataValue(const TDataBreakpoint& d) const {
  const TMachine& m = runner_.Context().machine;
  switch (d.kind) {
    case TDataBreakpoint::Kind::kLocal: return m.L[d.index];
    case TDataBreakpoint::Kind::kExternal: return runner_.externals[static_cast<std::size_t>(d.index)];
    case TDataBreakpoint::Kind::kCell: return d.index < m.SP ? m.S[d.index] : d.last;
  }
  return d.last;
}

bool TDebugger::DataChanged(int changedAt) {
  bool stop = false;
  for (TDataBreakpoint& d : dataBreakpoints_) {
    if (!d.verified) continue;
    const std::int16_t now = DataValue(d);
    if (now == d.last) continue;
    const std::int16_t was = d.last;
    d.last = now;
    bool stops = true;
    if (!d.conditionImage.empty()) {
      std::int16_t v = 0;
      std::string error;
      const bool ok = RunExpression(d.conditionImage, 0, v, error);
      // Only when it becomes true; one that cannot be evaluated stops.
      stops = !ok || (v != 0 && !d.conditionWas);
      d.conditionWas = ok && v != 0;
    }
    if (!stops || stop) continue;
    stop = true;
    reason_ = TStopReason::kDataBreakpoint;
    const int line = changedAt >= 0 ? info_.LineOf(static_cast<std::uint16_t>(changedAt)) : -1;
    stopMessage_ = d.name + ": " + std::to_string(was) + Sjis(" → ") + std::to_string(now) +
                   (line >= 0 ? " (" + LineText(line) + Sjis("行目で変更)") : Sjis(" (実行の外で変更)"));
  }
  if (stop) {
    mode_ = Mode::kRun;
    mask_ = kBreak;
    steppedOffRun_ = false;
  }
  return stop;
}

int TDebugger::CurrentLine() const { return info_.LineOf(heldPc_); }

// --- running -------------------------------------------------------------

void TDebugger::RunStarted() {
  entryPc_ = runner_.Context().machine.PC;
  resuming_ = false;
  runStarting_ = true;
}

void TDebugger::RunEnded(TRunEnd end) {
  // A step that runs off the end of its run stops at the next run's first
  // statement: in an event-driven macro that is where execution goes on.
  if (mode_ != Mode::kRun && mode_ != Mode::kEntry && mode_ != Mode::kPause) steppedOffRun_ = true;
  if (onRunEnded) onRunEnded(end);
}

// Breakpoints cost nothing while the run goes on: their first bytes are
// replaced by the end-of-code byte, so the runner's own loop runs at full
// speed and returns at one.  Steps and pauses go one Step at a time, with
// the bytes put back.
void TDebugger::Patch() {
  if (patched_) return;
  TCodeArea& code = runner_.MutableCode();
  ForEachBreakpoint([&](const TBreakpoint& b) {
    if (!b.verified || (flags_[b.pc] & kPatched)) return;
    original_[b.pc] = code[b.pc];
    code[b.pc] = static_cast<std::uint8_t>(Op::END);
    flags_[b.pc] |= kPatched;
  });
  patched_ = true;
  runner_.CodeChanged();
}

void TDebugger::Unpatch() {
  if (!patched_) return;
  TCodeArea& code = runner_.MutableCode();
  ForEachBreakpoint([&](const TBreakpoint& b) {
    if (!(flags_[b.pc] & kPatched)) return;
    code[b.pc] = original_[b.pc];
    flags_[b.pc] &= static_cast<std::uint8_t>(~kPatched);
  });
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
  instructionBreakpoints_.clear();
  dataBreakpoints_.clear();
  watching_ = false;
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
  // A watched value the host changed between two runs.
  const bool starting = runStarting_;
  runStarting_ = false;
  if (starting && watching_ && DataChanged(-1)) return hold(m.PC);
  while (left > 0) {
    if (mode_ == Mode::kRun && !trace && !watching_) {
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
    if (!skip && (((flags_[pc] & mask_) != 0 && StopHere(pc)) || InstructionStepStops())) return hold(pc);
    skip = false;
    --left;
    if (Step(context)) break;
    if (trace) runner_.TraceStep();
    if (context.errorCode != 0) break;
    if (watching_ && DataChanged(pc)) return hold(m.PC);
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
      case Mode::kInstruction:
      case Mode::kInstructionOver:
        // A step that ran off its run stops at the next run's first statement.
        stop = steppedOffRun_;
        if (stop) reason_ = TStopReason::kStep;
        break;
    }
  }
  if (f & kBreak) {
    // Every breakpoint here counts its hit and writes its log, even when a
    // step stops here anyway.
    ForEachBreakpoint([&](TBreakpoint& b) {
      if (!b.verified || b.pc != pc || !stopMessage_.empty()) return;
      const bool holds = ConditionHolds(b);
      if (!stopMessage_.empty()) {
        // The condition could not be evaluated: stop and say why.
        if (!stop) reason_ = TStopReason::kBreakpoint;
        stop = true;
        return;
      }
      if (!holds || !HitStops(b)) return;
      if (!b.log.empty()) {
        if (onLog) onLog(LogText(b), b.line);
        return;
      }
      if (!stop) reason_ = TStopReason::kBreakpoint;
      stop = true;
    });
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

bool TDebugger::HitStops(TBreakpoint& b) {
  ++b.hits;
  switch (b.hitRule) {
    case TBreakpoint::HitRule::kAlways: return true;
    case TBreakpoint::HitRule::kEqual: return b.hits == b.hitCount;
    case TBreakpoint::HitRule::kEvery: return b.hits % b.hitCount == 0;
    case TBreakpoint::HitRule::kAfter: return b.hits > b.hitCount;
  }
  return true;
}

std::string TDebugger::LogText(const TBreakpoint& b) {
  std::string out;
  for (const TBreakpoint::LogPiece& piece : b.log) {
    out += piece.text;
    if (piece.image.empty()) continue;
    std::int16_t value = 0;
    std::string error;
    out += RunExpression(piece.image, 0, value, error) ? std::to_string(value) : "<" + error + ">";
  }
  return out;
}

bool TDebugger::BindExtras(TBreakpoint& b) {
  std::string_view hit = Trim(b.hitCondition);
  if (!hit.empty()) {
    using Rule = TBreakpoint::HitRule;
    Rule rule = Rule::kEqual;
    long low = 1, offset = 0;
    if (hit.substr(0, 2) == ">=") {
      rule = Rule::kAfter;
      offset = -1;  // from the Nth on: after N - 1
      hit.remove_prefix(2);
    } else if (hit.substr(0, 2) == "==") {
      hit.remove_prefix(2);
    } else if (hit[0] == '>') {
      rule = Rule::kAfter;
      low = 0;
      hit.remove_prefix(1);
    } else if (hit[0] == '%') {
      rule = Rule::kEvery;
      hit.remove_prefix(1);
    } else if (hit[0] == '=') {
      hit.remove_prefix(1);
    }
    hit = Trim(hit);
    long n = 0;
    auto [end, ec] = std::from_chars(hit.data(), hit.data() + hit.size(), n);
    if (hit.empty() || ec != std::errc() || end != hit.data() + hit.size() || n < low || n > 1000000000L) {
      b.verified = false;
      b.message = Sjis("ヒット条件の誤り:") + b.hitCondition + Sjis(" (N、%N、>N、>=N のどれか)");
      return false;
    }
    b.hitRule = rule;
    b.hitCount = n + offset;
  }
  if (b.logMessage.empty()) return true;
  // {expression} pieces; {{ and }} stand for the braces themselves.
  const std::string& text = b.logMessage;
  TBreakpoint::LogPiece piece;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsLeadByte(static_cast<std::uint8_t>(c)) && i + 1 < text.size()) {
      piece.text += text.substr(i, 2);
      ++i;
    } else if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      piece.text += c;
      ++i;
    } else if (c == '{') {
      std::size_t close = i + 1;
      while (close < text.size() && text[close] != '}') close += IsLeadByte(static_cast<std::uint8_t>(text[close])) ? 2 : 1;
      std::string error;
      if (close >= text.size()) {
        error = Sjis("{が閉じていない");
      } else if (!expressionScript_) {
        error = Sjis("式を翻訳できない");
      } else {
        CompileExpression(*expressionScript_, std::string_view(text).substr(i + 1, close - i - 1), info_, piece.image,
                          error);
      }
      if (!error.empty()) {
        b.verified = false;
        b.message = Sjis("ログの式の誤り:") + error;
        b.log.clear();
        return false;
      }
      b.log.push_back(std::move(piece));
      piece = TBreakpoint::LogPiece();
      i = close;
    } else {
      piece.text += c;
    }
  }
  if (!piece.text.empty() || b.log.empty()) b.log.push_back(std::move(piece));
  return true;
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
TRunEnd TDebugger::StepInstruction() { return Go(Mode::kInstruction); }
TRunEnd TDebugger::StepInstructionOver() { return Go(Mode::kInstructionOver); }

std::vector<TInstructionText> TDebugger::Instructions(std::uint16_t pc, long offset, long count, long* first) const {
  const auto& list = info_.instructions;
  std::vector<TInstructionText> out;
  if (first) *first = offset;
  if (list.empty() || count <= 0) return out;
  auto it = std::upper_bound(list.begin(), list.end(), pc,
                             [](std::uint16_t p, const TDebugInfo::Instruction& i) { return p < i.pc; });
  const long at = it == list.begin() ? 0 : static_cast<long>(it - list.begin()) - 1;
  const long size = static_cast<long>(list.size());
  long from = at + offset;
  long to = from + count;
  if (from < 0) from = 0;
  if (to > size) to = size;
  if (first) *first = from - at;
  if (from >= to) return out;
  const std::uint16_t end = list[static_cast<std::size_t>(to - 1)].pc;
  const std::vector<std::uint8_t> bytes = ProgramBytes(0, static_cast<std::size_t>(end) + 16);
  for (long i = from; i < to; ++i) {
    const TDebugInfo::Instruction& in = list[static_cast<std::size_t>(i)];
    int p = in.pc;
    const std::string text = InstructionText(bytes, static_cast<int>(bytes.size()) - 1, p);
    // "6E 05 00       Num 5": the bytes, then the instruction.
    const std::size_t gap = text.find("  ");
    TInstructionText t{in.pc, in.line, text, ""};
    if (gap != std::string::npos) {
      t.bytes = text.substr(0, gap);
      t.text = text.substr(text.find_first_not_of(' ', gap));
    }
    out.push_back(std::move(t));
  }
  return out;
}

bool TDebugger::InstructionStepStops() {
  bool stop = false;
  switch (mode_) {
    case Mode::kInstruction: stop = true; break;
    case Mode::kInstructionOver: stop = CallDepth() <= stepDepth_; break;
    // Back in the caller, wherever that is: inside an expression that
    // called a function too.
    case Mode::kStepOut: stop = !steppedOffRun_ && CallDepth() < stepDepth_; break;
    default: return false;
  }
  if (stop) {
    reason_ = TStopReason::kStep;
    stopMessage_.clear();
    mode_ = Mode::kRun;
    mask_ = kBreak;
  }
  return stop;
}

std::vector<std::uint8_t> TDebugger::ProgramBytes(std::uint16_t from, std::size_t count) const {
  std::vector<std::uint8_t> out;
  for (std::size_t p = from; p < kCodeAreaSize && out.size() < count; ++p) out.push_back(CodeAt(static_cast<std::uint16_t>(p)));
  return out;
}

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
  // The held instruction: inside an expression when no statement starts
  // there, at the call that just returned (or the operand before it).
  int column = info_.IsStatement(pc) || pc == 0 ? -1 : info_.ColumnOf(InstructionBefore(static_cast<std::uint16_t>(pc - 1)));
  int depth = m.RSP;
  for (int i = m.RSP - 1; i >= 0; --i) {
    const std::uint8_t kind = EntryKind(i);
    int back = kind == static_cast<std::uint8_t>(Op::CALL) ? 4 : kind == static_cast<std::uint8_t>(Op::GOSUB) ? 3 : 0;
    if (back == 0) continue;
    const auto call = static_cast<std::uint16_t>(m.RS[i] - back);
    frames.push_back({nameAt(ReadWord(image, call + 1u)), info_.LineOf(pc), column, pc, depth});
    pc = call;
    // A function is called from inside an expression; a subroutine is a
    // statement of its own.
    column = kind == static_cast<std::uint8_t>(Op::CALL) ? info_.ColumnOf(call) : -1;
    depth = i;
  }
  frames.push_back({nameAt(entryPc_), info_.LineOf(pc), column, pc, depth});
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
