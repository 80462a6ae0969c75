// A scenario run without a window: a device, a runner with its own
// built-in state and a simulator model of its own, the compiled macro
// started on them, and the lines and messages taken for the checks.  Each
// machine is as a freshly started program, so scenarios do not depend on
// one another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/scenario_runner.h"

namespace qmt {

class PageAnimation;

// A compiled macro: its P-code and its labels ("name=address").
struct CompiledMacro {
  std::vector<std::uint8_t> image;
  std::vector<std::string> labels;
};

// A compiled macro as the model's macro source: ready, without errors.
class CompiledMacroSource : public SimMacroSource {
 public:
  // Labels are looked up as `runner` matches them when it runs.
  CompiledMacroSource(const CompiledMacro& macro, const TRunner& runner) : macro_(macro), runner_(runner) {}
  bool MacroReady() const override { return true; }
  void ClearMacroReady() override {}
  bool HasErrors() const override { return false; }
  void ShowErrorPage() override {}
  bool HasLabel(std::string_view label) const override;
  std::vector<std::string> LabelTable() const override { return macro_.labels; }
  std::vector<std::uint8_t> Image() const override { return macro_.image; }
  void CompileMacro() override {}
  void ReplaceMacro(std::vector<std::string>) override {}

 private:
  const CompiledMacro& macro_;
  const TRunner& runner_;
};

// Passes everything on to the model's runner and keeps, while taping, the
// lines the device accepted and the run messages: the model's own handlers
// still get them.
class ScenarioTap : public SimRunner {
 public:
  explicit ScenarioTap(SimRunner& inner) : inner_(inner) {}
  void SetHandlers(Handler message, Handler line) override;
  void SetLabelList(const std::vector<std::string>& labels) override { inner_.SetLabelList(labels); }
  void LoadImage(const std::vector<std::uint8_t>& image) override { inner_.LoadImage(image); }
  void RunFrom(std::optional<std::string_view> label) override { inner_.RunFrom(label); }
  std::int16_t Ext(int id) const override { return inner_.Ext(id); }
  void SetExt(int id, std::int16_t value) override { inner_.SetExt(id, value); }
  // A run held by a debugger holds the model's inputs too.
  bool Held() const override { return inner_.Held(); }

  void SetTaping(bool on);
  bool Taping() const { return taping_; }
  // What a run taped, as taped: for a machine that restores its start.
  const std::vector<std::string>& Lines() const { return lines_; }
  const std::vector<std::string>& Messages() const { return messages_; }
  void Retape(std::vector<std::string> lines, std::vector<std::string> messages) {
    lines_ = std::move(lines);
    messages_ = std::move(messages);
  }
  std::vector<std::string> TakeLines();
  std::vector<std::string> TakeMessages();

 private:
  SimRunner& inner_;
  bool taping_ = false;
  std::vector<std::string> lines_, messages_;
};

class ScenarioMachine : public ScenarioTarget {
 public:
  // `messages` and `link`, when given, get the run messages and the lines
  // sent as a window's would.
  explicit ScenarioMachine(const CompiledMacro& macro, SimMessages* messages = nullptr, SimLink* link = nullptr);
  ~ScenarioMachine() override;

  // Loads the macro and runs it from the start.
  void Start();
  // The same for a machine used again and again: the first time it starts
  // the macro and keeps what the start left (pages, image store, drawing
  // state, cells, the built-ins' state, the lines and messages taped);
  // later it puts that back, with the inputs at rest, instead of running
  // the start again.  Without `lines`, the start's lines are not taped
  // again (for a scenario that checks no lines).
  void StartAgain(bool lines = true);

  Simulator& Model() override;
  const TQMT3308& Screen() const override;
  TQMT3308& Device();
  TRunner& Runner();
  void SetCell(int id, std::int16_t value) override;
  std::vector<std::string> TakeLines() override;
  std::vector<std::string> TakeMessages() override;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The outcome of a whole scenario.
struct ScenarioReport {
  enum class Status { kPassed, kFailed, kError };
  Status status = Status::kPassed;
  // The step that failed (line 0: the start-up run) and why, UTF-8.
  StepResult failure;
  std::vector<BaselineWrite> writes;  // what an update takes, one for each check of a file
  std::uint64_t simulatedMs = 0;
  std::int64_t ticks = 0;
  // What passes but is likely a mistake (UTF-8): a scenario that checks
  // nothing, an event the macro lacks (which runs nothing).
  std::vector<std::string> warnings;
};

// Runs a scenario from start to end, or to its first failure.  With
// `animation`, every tick that changes the display page adds a frame.
// Without one, the machine is one this thread keeps for the macro and
// starts again (ScenarioMachine::StartAgain).
ScenarioReport RunScenario(const Scenario& scenario, const CompiledMacro& macro, const ScenarioOptions& options,
                           PageAnimation* animation = nullptr);
// The same on a machine of the caller's, which it starts.
ScenarioReport RunScenarioOn(ScenarioMachine& machine, const Scenario& scenario, const ScenarioOptions& options,
                             PageAnimation* animation = nullptr);

// The failure as one line: "line 12 (expect screen a.png): screen differs
// in 1,234 pixels, first at (x, y)" or "start-up run: ...".
std::string FailureText(const StepResult& failure);

}  // namespace qmt
