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

enum class TStopReason { kNone, kBreakpoint, kStep, kPause, kEntry, kException };

// A breakpoint as asked for, and as it was bound.
struct TBreakpointRequest {
  int line = 0;
  std::string condition;  // empty: always
};
struct TBreakpoint {
  int requestedLine = 0;
  int line = -1;  // the line it binds to, -1 when unverified
  bool verified = false;
  std::string message;  // why it moved or was refused (code page 932)
  std::string condition;
  std::uint16_t pc = 0;
  TAByte conditionImage;
};

struct TStackFrame {
  std::string name;  // the label or function, or "" outside any label
  int line = -1;
  std::uint16_t pc = 0;
  int depth = 0;  // return-stack entries below this frame's code
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

  // Stop at the first statement of the next run.
  void StopOnEntry() {
    mode_ = Mode::kEntry;
    mask_ = kBreak | kStatement;
  }
  // Hold a run at the instruction that stopped it with a run message.
  bool stopOnMessage = true;

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
  TRunEnd StepOut();
  // Holds the run at the next statement: the running one, or the next run's.
  void Pause();
  // Ends a held run as a run message would, and forgets any step.
  void Stop();

  bool Held() const { return runner_.Paused(); }
  TStopReason Reason() const { return reason_; }
  // For kException: the run message the run stopped with.
  const std::string& StopMessage() const { return stopMessage_; }
  // The line of the held instruction.
  int CurrentLine() const;

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
  enum class Mode { kRun, kEntry, kPause, kStepInto, kStepOver, kStepOut };
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
  bool ConditionHolds(const TBreakpoint& b);
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
