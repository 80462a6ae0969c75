#include "host/scenario_replay.h"

#include <utility>

#include "runtime/runner.h"
#include "support/encoding.h"

namespace qmt {

// The machine of a replay that has no target of the caller's: its run
// messages and lines go to the replay's handlers.
class ScenarioReplay::OwnMachine : private SimMessages, private SimLink {
 public:
  OwnMachine(ScenarioReplay& replay, CompiledMacro macro)
      : replay_(replay), macro_(std::move(macro)), machine(macro_, this, this) {}

 private:
  void ShowRunMessage(const std::string& message) override {
    if (replay_.onMessage) replay_.onMessage(message);
  }
  bool SendLine(std::string_view line) override {
    if (replay_.onLine) replay_.onLine(std::string(line));
    return true;
  }
  bool DeviceBusy() override { return false; }

  ScenarioReplay& replay_;
  CompiledMacro macro_;

 public:
  ScenarioMachine machine;
};

ScenarioReplay::ScenarioReplay(Scenario scenario, CompiledMacro macro)
    : scenario_(std::move(scenario)),
      own_(std::make_unique<OwnMachine>(*this, std::move(macro))),
      target_(own_->machine),
      start_([this] { own_->machine.Start(); }),
      player_(scenario_, target_) {}

ScenarioReplay::ScenarioReplay(Scenario scenario, ScenarioTarget& target, std::function<void()> start)
    : scenario_(std::move(scenario)), target_(target), start_(std::move(start)), player_(scenario_, target_) {}

ScenarioReplay::~ScenarioReplay() = default;

TRunner& ScenarioReplay::Runner() { return own_->machine.Runner(); }

bool ScenarioReplay::Held() const { return target_.Model().Held(); }

std::optional<ReplayedStep> ScenarioReplay::Advance() {
  if (Done() || Held()) return std::nullopt;
  if (!started_) {
    started_ = true;
    start_();
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
  if (!target_.Model().RunWaitingInputs() || Held()) return std::nullopt;
  ReplayedStep step = std::move(*pending_);
  pending_.reset();
  if (step.result.line == 0) {
    step.result = player_.Begin();
  } else if (step.result.status == StepResult::Status::kOk) {
    // Messages of runs that were held when the step returned; those of runs
    // that were not, the player has already taken.
    std::vector<std::string> messages = target_.TakeMessages();
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
