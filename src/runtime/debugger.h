// The macro debugger: breakpoints on source lines (with conditions), pause,
// continue and the three steps, the call stack and the variables by name.
// It executes a runner's runs in place of the runner's own loop, one Step at
// a time, and holds a run between two instructions; the held run's state
// stays in the machine, so the caller's event loop goes on meanwhile.
//
// Lines are counted from 0, as the compiler counts them.  Text is code page
// 932.  A runner without a debugger attached runs exactly as before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compiler/debug_info.h"
#include "runtime/runner.h"

namespace qmt {

enum class TStopReason { kNone, kBreakpoint, kStep, kPause, kEntry, kException, kDataBreakpoint };

// A breakpoint as asked for, and as it was bound.
struct TBreakpointRequest {
  TBreakpointRequest(int line = 0, std::string condition = "", std::string hitCondition = "",
                     std::string logMessage = "")
      : line(line), condition(std::move(condition)), hitCondition(std::move(hitCondition)),
        logMessage(std::move(logMessage)) {}
  int line = 0;
  std::string condition;  // empty: always
  // When to stop among the hits whose condition holds: "N" (or "=N") the
  // Nth, "%N" every Nth, ">N" after the Nth, ">=N" from the Nth on; empty:
  // every hit.
  std::string hitCondition;
  // Not empty: a log point, which writes this text (with each {expression}
  // replaced by its value) instead of stopping.
  std::string logMessage;
  // An instruction breakpoint: the address of the instruction (line unused).
  int address = -1;
};
struct TBreakpoint {
  int requestedLine = 0;
  int line = -1;  // the line it binds to, -1 when unverified
  bool verified = false;
  std::string message;  // why it moved or was refused (code page 932)
  std::string condition;
  std::string hitCondition;
  std::string logMessage;
  std::uint16_t pc = 0;
  TAByte conditionImage;
  // Hits whose condition held, since the breakpoint was set.
  long hits = 0;
  // The hit condition read: what N means, and N.
  enum class HitRule : std::uint8_t { kAlways, kEqual, kEvery, kAfter } hitRule = HitRule::kAlways;
  long hitCount = 0;
  // A log point's text in pieces: text, then an expression, and so on.
  struct LogPiece {
    std::string text;
    TAByte image;  // empty: text only
  };
  std::vector<LogPiece> log;
};

// A value to watch: a local, an external or an argument @n of a frame;
// the run stops when it changes or, with a condition, when the condition
// becomes true as it changes.
struct TDataBreakpointRequest {
  std::string name;  // code page 932
  std::string condition;
  int frame = 0;  // for an argument: the frame (0 innermost) it belongs to
};
struct TDataBreakpoint {
  std::string name;
  bool verified = false;
  std::string message;  // why it was refused (code page 932)
  enum class Kind : std::uint8_t { kLocal, kExternal, kCell } kind = Kind::kLocal;
  int index = 0;  // the local's slot, the external's id, or the stack cell
  std::int16_t last = 0;
  TAByte conditionImage;
  bool conditionWas = false;
};

struct TStackFrame {
  std::string name;  // the label or function, or "" outside any label
  int line = -1;
  // For a frame stopped inside an expression (at a function it called, or
  // back from one), the column of that call; -1 at a statement's start.
  int column = -1;
  std::uint16_t pc = 0;
  int depth = 0;  // return-stack entries below this frame's code
};

// One instruction as the P-code listing shows it.
struct TInstructionText {
  std::uint16_t pc = 0;
  int line = -1;
  std::string bytes;  // "6E 05 00"
  std::string text;   // "Num 5"
};

struct TVariable {
  std::string name;
  std::int16_t value = 0;
};

class TDebugger : public TRunHook {
 public:
  // Attaches to `runner` until destroyed (which ends a held run and calls
  // none of the hooks below).  Compiling expressions needs a
  // spare script with the host's events; without one, conditions and
  // expressions other than plain names are refused.
  explicit TDebugger(TRunner& runner);
  ~TDebugger() override;
  TDebugger(const TDebugger&) = delete;
  TDebugger& operator=(const TDebugger&) = delete;

  // The compile the runner's image came from.  Breakpoints are bound again.
  void SetDebugInfo(TDebugInfo info);
  const TDebugInfo& Info() const { return info_; }
  void SetExpressionScript(TScript* script) { expressionScript_ = script; }
  // Names of the external table (name, id), shown in the externals scope.
  void SetExternalNames(std::vector<std::pair<std::string, int>> names) { externalNames_ = std::move(names); }

  // Replaces every breakpoint; returns them as bound, in request order.
  const std::vector<TBreakpoint>& SetBreakpoints(const std::vector<TBreakpointRequest>& requests);
  const std::vector<TBreakpoint>& Breakpoints() const { return breakpoints_; }
  // Replaces every data breakpoint; returns them as bound, in request order.
  // While one is set, runs go one instruction at a time.
  const std::vector<TDataBreakpoint>& SetDataBreakpoints(const std::vector<TDataBreakpointRequest>& requests);
  const std::vector<TDataBreakpoint>& DataBreakpoints() const { return dataBreakpoints_; }
  // Whether `name` (a local, an external or @n of `frame`) can be watched;
  // false with a message when it cannot.
  bool CanWatch(std::string_view name, int frame, std::string& error);
  // Replaces every instruction breakpoint (requests with an address).
  const std::vector<TBreakpoint>& SetInstructionBreakpoints(const std::vector<TBreakpointRequest>& requests);

  // Stop at the first statement of the next run.
  void StopOnEntry() {
    mode_ = Mode::kEntry;
    mask_ = kBreak | kStatement;
  }
  // Hold a run at the instruction that stopped it with a run message.
  bool stopOnMessage = true;

  // Called when a log point is hit, with its text and line.
  std::function<void(const std::string& text, int line)> onLog;
  // Called when a run is held, with the reason.  It is called from inside
  // the run: it may look at everything, but must not resume the run.
  std::function<void(TStopReason)> onStopped;
  // Called when a run ends for good.
  std::function<void(TRunEnd)> onRunEnded;
  // Called when the runner has loaded a new image: the place to give the
  // debugger that image's line table (SetDebugInfo) before it runs.
  std::function<void()> onImageLoaded;

  // --- control (while held, these go on with the run) -----------------------
  TRunEnd Continue();
  TRunEnd StepOver();
  TRunEnd StepInto();
  // Out of the current function or subroutine: the stop is at the caller's
  // next instruction, inside the expression that called a function.
  TRunEnd StepOut();
  // One instruction; over a call, the instructions of the call too.
  TRunEnd StepInstruction();
  TRunEnd StepInstructionOver();
  // Holds the run at the next statement: the running one, or the next run's.
  void Pause();
  // Ends a held run as a run message would, and forgets any step.
  void Stop();

  bool Held() const { return runner_.Paused(); }
  TStopReason Reason() const { return reason_; }
  // For kException: the run message the run stopped with; for
  // kDataBreakpoint: the value that changed, from what to what, and where.
  const std::string& StopMessage() const { return stopMessage_; }
  // The line of the held instruction.
  int CurrentLine() const;
  // The address of the held instruction.
  std::uint16_t CurrentPc() const { return heldPc_; }
  // The machine of the run (its stacks and registers), to look at.
  const TMachine& Machine() const { return runner_.Context().machine; }
  // The program's bytes, without the breakpoints' traps.
  std::vector<std::uint8_t> ProgramBytes(std::uint16_t from, std::size_t count) const;
  // `count` instructions from the one `offset` instructions away from the
  // one that holds `pc` (before it when negative); those past either end
  // of the program are left out, so `first` says where the list begins
  // (its offset from the one that holds `pc`).
  std::vector<TInstructionText> Instructions(std::uint16_t pc, long offset, long count, long* first = nullptr) const;

  // --- inspection ----------------------------------------------------------
  // Innermost first; the outermost frame is the run's entry label.
  std::vector<TStackFrame> StackTrace() const;
  std::vector<TVariable> Locals() const;
  // The arguments @0, @1, ... visible in `frame` (0 innermost).
  std::vector<TVariable> Arguments(int frame = 0) const;
  std::vector<TVariable> Externals() const;
  // A variable name (local, external or @n) or an expression of the macro
  // language, in `frame`.  False with a message when it cannot be evaluated.
  bool Evaluate(std::string_view text, std::int16_t& value, std::string& error, int frame = 0);
  // Writes a local, external or argument @n; the value is an expression.
  bool SetVariable(std::string_view name, std::string_view value, std::int16_t& stored, std::string& error,
                   int frame = 0);

  // TRunHook
  long Execute(TRuntimeContext& context, long limit, bool& paused) override;
  void RunStarted() override;
  void RunEnded(TRunEnd end) override;
  void ImageLoaded() override;

 private:
  enum class Mode { kRun, kEntry, kPause, kStepInto, kStepOver, kStepOut, kInstruction, kInstructionOver };
  enum Flag : std::uint8_t { kBreak = 1, kStatement = 2, kPatched = 4 };

  TRunEnd Go(Mode mode);
  void Patch();
  void Unpatch();
  // The program's byte at `p`, under a breakpoint's trap too.
  std::uint8_t CodeAt(std::uint16_t p) const;
  // Step, with the program's own byte under a trap.
  int StepOriginal(TRuntimeContext& context);
  // The start of the instruction that holds `pc`.
  std::uint16_t InstructionBefore(std::uint16_t pc) const;
  void Rebind();
  bool StopHere(std::uint16_t pc);
  // Whether a step that stops between statements stops at `pc`.
  bool InstructionStepStops();
  TBreakpoint BindRequest(const TBreakpointRequest& r);
  TDataBreakpoint BindData(const TDataBreakpointRequest& r);
  std::int16_t DataValue(const TDataBreakpoint& d) const;
  // Looks at the watched values after the instruction at `changedAt` ran
  // (-1: between runs); whether one of them stops the run.
  bool DataChanged(int changedAt);
  // Line and instruction breakpoints alike.
  template <typename F>
  void ForEachBreakpoint(F f) {
    for (TBreakpoint& b : breakpoints_) f(b);
    for (TBreakpoint& b : instructionBreakpoints_) f(b);
  }
  bool ConditionHolds(const TBreakpoint& b);
  // Counts a hit whose condition held; whether the hit condition stops.
  static bool HitStops(TBreakpoint& b);
  // A log point's text with its expressions' values.
  std::string LogText(const TBreakpoint& b);
  // Reads a breakpoint's hit condition and log message; false with
  // b.message when one of them is wrong.
  bool BindExtras(TBreakpoint& b);
  // Return-stack entries that are calls (GOSUB or CALL), of the first `n`.
  int CallDepth(int n) const;
  int CallDepth() const { return CallDepth(runner_.Context().machine.RSP); }
  // The (FP, AC) pair visible with the first `n` return entries active.
  std::pair<int, int> FrameOf(int n) const;
  int EntriesOf(int frame) const;
  bool RunExpression(const TAByte& image, int frame, std::int16_t& value, std::string& error);
  // Whether the return entry `i` comes from GOSUB, CALL or DO; 0 unknown.
  std::uint8_t EntryKind(int i) const;

  TRunner& runner_;
  TDebugInfo info_;
  TScript* expressionScript_ = nullptr;
  std::vector<std::pair<std::string, int>> externalNames_;
  std::vector<TBreakpoint> breakpoints_;
  std::vector<TBreakpointRequest> requests_;
  std::vector<TBreakpoint> instructionBreakpoints_;
  std::vector<TBreakpointRequest> instructionRequests_;
  std::vector<TDataBreakpoint> dataBreakpoints_;
  std::vector<TDataBreakpointRequest> dataRequests_;
  bool watching_ = false;  // a data breakpoint is verified
  bool runStarting_ = false;
  std::vector<std::uint8_t> flags_;  // per address: kBreak, kStatement, kPatched
  std::vector<std::uint8_t> original_;  // the bytes under the traps
  bool patched_ = false;
  std::uint8_t mask_ = kBreak;
  Mode mode_ = Mode::kRun;
  bool steppedOffRun_ = false;  // a step ran past the end of its run
  TStopReason reason_ = TStopReason::kNone;
  std::string stopMessage_;
  std::uint16_t heldPc_ = 0;
  bool resuming_ = false;  // the held instruction runs before any stop
  // Where a step started.
  int stepLine_ = -1, stepDepth_ = 0;
  std::uint16_t stepPc_ = 0;
  std::uint16_t entryPc_ = 0;  // the current run's first instruction
  std::unique_ptr<TCodeArea> scratchCode_;
  std::size_t scratchUsed_ = 0;
};

}  // namespace qmt
