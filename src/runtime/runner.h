// The macro runner: a compiled image, its external table and its machine,
// run from the start or from a label under a step budget, with every command
// line the built-ins produce executed on the device.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/fused.h"
#include "runtime/machine.h"

namespace qmt {

class TQMT3308;

inline constexpr int kDefaultStepBudget = 10000;
// What the built-ins of one run may send: a single call can emit tens of
// thousands of lines (CirFill with a large radius, arc with many steps), so
// the step budget alone does not keep a run from hanging the window.  The
// built-in macro's largest run sends about 3,500 lines.
inline constexpr int kDefaultLineBudget = 100000;
// Messages of one run that reach the message handler one by one; a run
// whose lines keep failing (a disc partly off the screen) goes on drawing,
// and the rest of its messages are summed up in one line at its end.
inline constexpr int kDefaultMessageBudget = 100;

// How a run ended.
enum class TRunEnd {
  kStopped,       // end of code, EXIT or RET at top level
  kError,         // a built-in or the machine set an error code
  kBudget,        // more than the budget of counted instructions
  kUnknownLabel,  // the label is not in the label list; nothing ran
  kPaused,        // a debugger holds the run; Resume or Abort ends it
};

// What executes a run's instructions instead of the runner's own loop: the
// debugger.  Execute runs at most `limit` instructions (it may be called with
// 0 when the budget is spent) and returns how many ran; it sets `paused` to
// hold the run between two instructions, and the runner then returns
// kPaused with everything kept for Resume.
class TRunHook {
 public:
  virtual ~TRunHook() = default;
  virtual long Execute(TRuntimeContext& context, long limit, bool& paused) = 0;
  // A run starts (PC at its first instruction), or ends for good.
  virtual void RunStarted() {}
  virtual void RunEnded(TRunEnd) {}
  // LoadImage replaced the code area.
  virtual void ImageLoaded() {}
};

class TRunner {
 public:
  TRunner();
  TRunner(const TRunner&) = delete;
  TRunner& operator=(const TRunner&) = delete;

  // Receives device errors and run errors (code page 932).
  std::function<void(const std::string& message)> onMessage;
  // Receives each command line the device accepted; may be empty.
  std::function<void(std::string_view line)> onLine;
  // When set, receives the built-ins' lines instead of SinkLine; it may pass
  // them on with SinkLine itself (the tool window logs them first).
  std::function<void(std::string_view line)> sink;

  // Entry points, "name=address" as the compiler lists them.
  std::vector<std::string> labels;
  // The table shared by host and macro; never cleared by the runner.
  std::array<std::int16_t, kExternalCount> externals{};
  // Counted instructions a run may execute before it is stopped.
  int stepBudget = kDefaultStepBudget;
  // Lines a run may send; the next one is dropped and the run stops with
  // "コマンド行が多すぎる" after the current instruction.
  int lineBudget = kDefaultLineBudget;
  // Messages of a run passed to onMessage as they come.  Past this count
  // they are only counted, and when the run ends one summary line
  // (SummaryMessage) names the first of them and how many there were; the
  // message that ends a run by error or budget always goes through, after
  // the summary.
  int messageBudget = kDefaultMessageBudget;

  // The device lines go to; null (the default) means Device().
  void SetDevice(TQMT3308* device) { device_ = device; }
  // Whether this runner writes the trace when it is switched on (a runner
  // in the background, such as a scenario's, does not).
  void SetTraced(bool on) { traced_ = on; }
  TQMT3308& GetDevice() const;

  // Copies the image into the code area and resets the registers; locals
  // and externals are kept.  An image over 65536 bytes is refused with a
  // message and false, and the previous image stays loaded.
  bool LoadImage(std::span<const std::uint8_t> image);

  // Runs from where the last run or LoadImage left PC.
  TRunEnd RunFrom();
  // Runs from a label, matched without regard to case.  A name that is not
  // in the list is reported and nothing runs.
  TRunEnd RunFrom(std::string_view label);
  // Whether `label` names an entry point.
  bool HasLabel(std::string_view label) const;

  // The debugger that executes runs, or null for the runner's own loop.
  void SetHook(TRunHook* hook) { hook_ = hook; }
  TRunHook* Hook() const { return hook_; }
  // Whether a run is held by the hook.  Starting another run or loading an
  // image first ends it as Abort does.
  bool Paused() const { return paused_; }
  // Goes on with a held run; returns how it ended, or kPaused again.
  TRunEnd Resume();
  // Ends a held run without running more: the stacks are emptied as after
  // a run message, so that the next event starts cleanly.
  void Abort();
  // Counted instructions the current run may still execute.
  long StepsLeft() const { return stepsLeft_; }

  // Executes one line on the device, reporting a failure to onMessage and
  // passing an accepted line to onLine.
  void SinkLine(std::string_view line);
  // The runtime context's sink: the owner is a TRunner.
  static void SinkLine(void* owner, int length, const char* bytes);
  // Whether SinkLine(owner, ...) would still pass a line on: false once the
  // current run is being stopped for sending too many lines.  For a sink of its own that
  // does something with a line before it calls SinkLine.
  static bool TakesLines(void* owner);

  // Writes one trace line (registers, next instruction, stack top).
  void TraceStep();

  TRuntimeContext& Context() { return context_; }
  const TRuntimeContext& Context() const { return context_; }
  const TCodeArea& Code() const { return *code_; }
  // For the debugger, which lays its breakpoints into the code; it calls
  // CodeChanged() after it has changed bytes, and before the next run.
  TCodeArea& MutableCode() { return *code_; }
  // Brings the threaded loop's dispatch map in step with the code.
  void CodeChanged();

 private:
  // A message of the current run, under the message budget; outside a run
  // (or with `always`) it goes straight to onMessage.
  void Message(const std::string& text, bool always = false);
  bool FindLabel(std::string_view label, std::uint16_t& address) const;
  TRunEnd Run();
  TRunEnd Execute();
  void EndRun();

  std::unique_ptr<TCodeArea> code_;
  std::unique_ptr<TDispatchMap> dispatch_;  // of code_, for StepMany
  // The code and its map as the image was loaded, before any breakpoint.
  std::unique_ptr<TCodeArea> loaded_;
  std::unique_ptr<TDispatchMap> loadedDispatch_;
  TRuntimeContext context_;
  TQMT3308* device_ = nullptr;
  // The current run's counts; lines sent outside a run are not counted.
  bool running_ = false;
  bool paused_ = false;
  bool traced_ = true;
  long stepsLeft_ = 0;
  TRunHook* hook_ = nullptr;
  int linesThisRun_ = 0;
  int messagesThisRun_ = 0;
  int heldBack_ = 0;
  std::string firstHeldBack_;
};

// The line that stands for the messages a run held back: how many, and the
// first of them.
std::string SummaryMessage(int count, const std::string& first);

// The trace switch: one process-wide flag.
void SetTraceEnabled(bool on);
bool TraceEnabled();
// Where trace lines go: a stream (standard output at start) or, when set,
// a writer that receives each line without its line end.
void SetTraceOutput(std::FILE* stream);
void SetTraceWriter(std::function<void(std::string_view line)> writer);

// The trace line for a runner's state, without the line end.
std::string TraceText(const TRuntimeContext& context);

}  // namespace qmt
