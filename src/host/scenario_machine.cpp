#include "host/scenario_machine.h"

#include "device/qmt3308.h"
#include "host/page_animation.h"
#include "host/simulator_binding.h"
#include "runtime/builtins.h"
#include "runtime/runner.h"

namespace qmt {
namespace {

class FixedMacro : public SimMacroSource {
 public:
  FixedMacro(const CompiledMacro& macro, TRunner& runner) : macro_(macro), runner_(runner) {}
  bool MacroReady() const override { return true; }
  void ClearMacroReady() override {}
  bool HasErrors() const override { return false; }
  void ShowErrorPage() override {}
  bool HasLabel(std::string_view label) const override { return runner_.HasLabel(label); }
  std::vector<std::string> LabelTable() const override { return macro_.labels; }
  std::vector<std::uint8_t> Image() const override { return macro_.image; }
  void CompileMacro() override {}
  void ReplaceMacro(std::vector<std::string>) override {}

 private:
  const CompiledMacro& macro_;
  TRunner& runner_;
};

// Every line reaches the "device" on the port, so each one is kept.
class LineTap : public SimLink {
 public:
  bool SendLine(std::string_view line) override {
    lines.emplace_back(line);
    return true;
  }
  bool DeviceBusy() override { return false; }
  std::vector<std::string> lines;
};

class MessageTap : public SimMessages {
 public:
  void ShowRunMessage(const std::string& message) override { messages.push_back(message); }
  std::vector<std::string> messages;
};

}  // namespace

struct ScenarioMachine::Parts {
  explicit Parts(const CompiledMacro& macro)
      : port(runner), source(macro, runner), model({&port, &source, &messages, &link, nullptr}) {
    runner.SetDevice(&device);
    runner.Context().state = state.get();
  }
  TQMT3308 device;
  std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
  TRunner runner;
  RunnerPort port;
  FixedMacro source;
  MessageTap messages;
  LineTap link;
  Simulator model;
};

ScenarioMachine::ScenarioMachine(const CompiledMacro& macro) : parts_(std::make_unique<Parts>(macro)) {}
ScenarioMachine::~ScenarioMachine() = default;

void ScenarioMachine::Start() { parts_->model.StartMacro(); }
Simulator& ScenarioMachine::Model() { return parts_->model; }
const TQMT3308& ScenarioMachine::Screen() const { return parts_->device; }
TQMT3308& ScenarioMachine::Device() { return parts_->device; }
TRunner& ScenarioMachine::Runner() { return parts_->runner; }
void ScenarioMachine::SetCell(int id, std::int16_t value) { parts_->runner.externals[static_cast<std::size_t>(id)] = value; }

std::vector<std::string> ScenarioMachine::TakeLines() {
  std::vector<std::string> lines;
  lines.swap(parts_->link.lines);
  return lines;
}

std::vector<std::string> ScenarioMachine::TakeMessages() {
  std::vector<std::string> messages;
  messages.swap(parts_->messages.messages);
  return messages;
}

ScenarioReport RunScenario(const Scenario& scenario, const CompiledMacro& macro, const ScenarioOptions& options,
                           PageAnimation* animation) {
  ScenarioMachine machine(macro);
  return RunScenarioOn(machine, scenario, options, animation);
}

ScenarioReport RunScenarioOn(ScenarioMachine& machine, const Scenario& scenario, const ScenarioOptions& options,
                             PageAnimation* animation) {
  ScenarioReport report;
  machine.Start();
  ScenarioPlayer player(scenario, machine, options);
  if (animation) {
    animation->Start(machine.Screen().DisplayPageBytes(), 0);
    player.onTick = [&](std::uint64_t ms) { animation->Add(machine.Screen().DisplayPageBytes(), ms); };
  }
  StepResult r = player.Begin();
  while (r.status == StepResult::Status::kOk && !player.AtEnd()) {
    r = player.Step();
    if (r.stepDone && r.status == StepResult::Status::kOk && !r.updated.empty()) report.updated.push_back(r.updated);
  }
  if (animation) {
    animation->Add(machine.Screen().DisplayPageBytes(), player.NowMs());
    animation->End(player.NowMs());
  }
  report.simulatedMs = player.NowMs();
  report.ticks = machine.Model().TickCount();
  if (r.status != StepResult::Status::kOk) {
    report.status = r.status == StepResult::Status::kError ? ScenarioReport::Status::kError
                                                           : ScenarioReport::Status::kFailed;
    report.failure = std::move(r);
  }
  return report;
}

std::string FailureText(const StepResult& failure) {
  std::string where = failure.line == 0 ? "start-up run"
                                        : "line " + std::to_string(failure.line) + " (" + failure.step + ")";
  return where + ": " + failure.message;
}

}  // namespace qmt
