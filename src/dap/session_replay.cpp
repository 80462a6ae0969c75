// The session's `scenario` launch argument: the scenario's inputs replayed
// through the debugger instead of a list of events.
#include <nlohmann/json.hpp>

#include "compiler/script.h"
#include "dap/session.h"
#include "device/escape.h"
#include "host/debug_binding.h"
#include "host/scenario_replay.h"
#include "runtime/debugger.h"
#include "runtime/machine.h"
#include "runtime/runner.h"
#include "support/encoding.h"

namespace qmt::dap {

bool Session::LoadScenario(const Json& request, const Json& args) {
  const Json& file = args["scenario"];
  if (!file.is_string() || file.get<std::string>().empty()) {
    Fail(request, "'scenario' is not the name of a scenario file");
    return false;
  }
  CompiledMacro macro{script_->Code(), {}};
  if (macro.image.size() > kCodeAreaSize) {
    Fail(request, "the macro's P-code does not fit the code area");
    return false;
  }
  script_->ListLabels(macro.labels);
  Scenario scenario;
  try {
    // Checks' files are found beside the scenario.
    scenario = ReadScenario(file.get<std::string>());
  } catch (const std::exception& e) {
    Fail(request, e.what());
    return false;
  }
  replay_ = std::make_unique<ScenarioReplay>(std::move(scenario), std::move(macro));
  replay_->onMessage = [this](const std::string& message) {
    ++messages_;
    Output("stderr", Cp932ToUtf8(message) + MessageLine());
  };
  replay_->onLine = [this](const std::string& line) {
    if (showLines_) Output("stdout", Cp932ToUtf8(EscapeForDisplay(line)));
  };
  runner_ = &replay_->Runner();
  return true;
}

void Session::StartReplay() {
  // The replay loads the macro into its machine when it starts: the new
  // image gets its line table, and the debugger binds its breakpoints to it.
  debugger_->onImageLoaded = [this] { BindDebugger(*debugger_, *script_, *spare_, *tables_); };
}

void Session::ReplayWork() {
  if (!replay_->Done()) {
    if (std::optional<ReplayedStep> step = replay_->Advance()) ReportStep(*step);
    if (!replay_->Done()) return;
  }
  if (replay_->Failed()) return End(replayExit_);
  Output("console", replay_->Script().file + ": passed");
  End(0);
}

void Session::ReportStep(const ReplayedStep& step) {
  const StepResult& r = step.result;
  const std::string& file = replay_->Script().file;
  if (r.status == StepResult::Status::kOk) {
    if (step.check && r.stepDone) Output("console", file + ": line " + std::to_string(r.line) + " (" + r.step + "): passed");
    return;
  }
  Output("stderr", file + ": " + FailureText(r));
  // As `qmt run --scenario` ends.
  replayExit_ = r.status == StepResult::Status::kError ? 1 : 2;
}

}  // namespace qmt::dap
