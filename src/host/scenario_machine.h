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

class ScenarioMachine : public ScenarioTarget {
 public:
  explicit ScenarioMachine(const CompiledMacro& macro);
  ~ScenarioMachine() override;

  // Loads the macro and runs it from the start.
  void Start();

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
  std::vector<std::string> updated;  // files written by an update
  std::uint64_t simulatedMs = 0;
  std::int64_t ticks = 0;
};

// Runs a scenario from start to end, or to its first failure.  With
// `animation`, every tick that changes the display page adds a frame.
ScenarioReport RunScenario(const Scenario& scenario, const CompiledMacro& macro, const ScenarioOptions& options,
                           PageAnimation* animation = nullptr);
// The same on a machine of the caller's, which it starts.
ScenarioReport RunScenarioOn(ScenarioMachine& machine, const Scenario& scenario, const ScenarioOptions& options,
                             PageAnimation* animation = nullptr);

// The failure as one line: "line 12 (expect screen a.png): screen differs
// in 1,234 pixels, first at (x, y)" or "start-up run: ...".
std::string FailureText(const StepResult& failure);

}  // namespace qmt
