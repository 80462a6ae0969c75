#include "host/scenario_replay.h"

#include <utility>

#include "runtime/runner.h"
#include "support/encoding.h"

namespace qmt {

ScenarioReplay::ScenarioReplay(Scenario scenario, CompiledMacro macro)
    : scenario_(std::move(scenario)),
      macro_(std::move(macro)),
      machine_(macro_, this, this),
      player_(scenario_, machine_),
      runner_(machine_.Runner()) {}

ScenarioReplay::~ScenarioReplay() = default;

TRunner& ScenarioReplay::Runner() { return machine_.Runner(); }

bool ScenarioReplay::Held() const { return runner_.Paused(); }

void ScenarioReplay::ShowRunMessage(const std::string& message) {
  if (onMessage) onMessage(message);
}

bool ScenarioReplay::SendLine(std::string_view line) {
  if (onLine) onLine(std::string(line));
  return true;
}

std::optional<ReplayedStep> ScenarioReplay::Advance() {
  if (Done() || Held()) return std::nullopt;
  if (!started_) {
    started_ = true;
    machine_.Start();
    pending_ = ReplayedStep{};
    return Settle();
  }
  if (pending_) return Settle();
  const bool check = player_.Next().kind == ScenarioStep::Kind::kExpectScreen ||
                     player_.Next().kind == ScenarioStep::Kind::kExpectPage ||
                     player_.Next().kind == ScenarioStep::Kind::kExpectLines;
  pending_ = ReplayedStep{player_.Step(), check};
  return Settle();
}

std::optional<ReplayedStep> ScenarioReplay::Settle() {
  // What waited runs first, and may be held in its turn.
  if (!machine_.Model().RunWaitingInputs() || Held()) return std::nullopt;
  ReplayedStep step = std::move(*pending_);
  pending_.reset();
  if (step.result.line == 0) {
    step.result = player_.Begin();
  } else if (step.result.status == StepResult::Status::kOk) {
    // Messages of runs that were held when the step returned; those of runs
    // that were not, the player has already taken.
    std::vector<std::string> messages = machine_.TakeMessages();
    if (!messages.empty()) {
      step.result.status = StepResult::Status::kFailed;
      step.result.message = "run message: " + Cp932ToUtf8(messages.front());
      step.result.stepDone = true;
    }
  }
  if (step.result.status != StepResult::Status::kOk) failed_ = true;
  return step;
}

}  // namespace qmt
