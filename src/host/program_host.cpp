#include "host/program_host.h"

#include <exception>
#include <utility>

#include "compiler/script.h"
#include "device/escape.h"
#include "host/data_module.h"
#include "host/debug_binding.h"
#include "host/program_macro.h"
#include "host/scenario_replay.h"
#include "runtime/machine.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {

ProgramHost::ProgramHost() = default;

ProgramHost::~ProgramHost() {
  // The debugger goes first: it ends a held run on the runner it sits on.
  debugger_.reset();
}

void ProgramHost::Say(Stream stream, const std::string& text) {
  if (onOutput) onOutput(stream, text);
}

void ProgramHost::RunMessage(const std::string& message) {
  ++messages_;
  // The machine's PC has passed the first byte of the instruction that failed.
  const int line = debugger_ ? debugger_->Info().LineOf(static_cast<std::uint16_t>(runner_->Context().machine.PC - 1))
                             : -1;
  if (onRunMessage) onRunMessage(message, line);
}

bool ProgramHost::Launch(const ProgramLaunch& launch, std::string& error, std::vector<std::string>& compileErrors) {
  if (Launched()) {
    error = "the program was already launched";
    return false;
  }
  noDebug_ = launch.noDebug;
  tool_ = std::make_unique<HeadlessToolWindow>();
  dm_ = std::make_unique<TDM>(*tool_);
  spare_ = std::make_unique<TScript>();
  // The program is named as --macro names it: one that cannot be read is an error.
  ProgramMacro macro = CompileProgramMacro(*dm_, *tool_, launch.toolPath, launch.program, launch.utf8);
  if (const ProgramFileProblem* fatal = macro.source.Fatal()) {
    error = ProblemSentence(*fatal);
    return false;
  }
  for (const std::string& note : macro.source.Notes()) Say(Stream::kConsole, "note: " + note);
  if (!macro.errors.empty()) {
    compileErrors = macro.errors;
    error = "the macro did not compile";
    return false;
  }
  if (macro.compiled.image.size() > kCodeAreaSize) {
    error = "the macro's P-code does not fit the code area";
    return false;
  }
  if (!launch.scenario.empty()) {
    if (!LoadScenario(launch.scenario, error)) return false;
  } else {
    ownRunner_ = std::make_unique<TRunner>();
    ownRunner_->onMessage = [this](const std::string& message) { RunMessage(message); };
    ownRunner_->onLine = [this](std::string_view line) {
      if (onLine) onLine(std::string(line));
    };
    ownRunner_->labels = macro.compiled.labels;
    if (!ownRunner_->LoadImage(macro.compiled.image)) {
      error = "the macro's P-code does not fit the code area";
      return false;
    }
    runner_ = ownRunner_.get();
  }
  debugger_ = std::make_unique<TDebugger>(*runner_);
  const DebugNames names = DebugNamesOf(*dm_);
  BindDebugger(*debugger_, dm_->Script1, *spare_, names);
  // A replay loads the macro into its machine when it starts: the new image
  // gets its line table, and the debugger binds its breakpoints to it.
  if (replay_) debugger_->onImageLoaded = [this, names] { BindDebugger(*debugger_, dm_->Script1, *spare_, names); };
  debugger_->stopOnMessage = !noDebug_;
  debugger_->onStopped = [this](TStopReason reason) {
    if (onStopped) onStopped(reason);
  };
  if (launch.stopOnEntry && !noDebug_) debugger_->StopOnEntry();
  events_.assign(launch.events.begin(), launch.events.end());
  return true;
}

bool ProgramHost::LoadScenario(const std::string& file, std::string& error) {
  CompiledMacro macro{dm_->Script1.Code(), {}};
  dm_->Script1.ListLabels(macro.labels);
  Scenario scenario;
  try {
    // Checks' files are found beside the scenario.  A FIFO or a device is
    // refused: the session would wait on it with its client unanswered.
    scenario = ParseScenario(ReadRegularFile(file), file);
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
  replay_ = std::make_unique<ScenarioReplay>(std::move(scenario), std::move(macro));
  replay_->onMessage = [this](const std::string& message) { RunMessage(message); };
  replay_->onLine = [this](const std::string& line) {
    if (onLine) onLine(line);
  };
  runner_ = &replay_->Runner();
  return true;
}

bool ProgramHost::HasWork() const { return Launched() && !ended_ && !debugger_->Held(); }

void ProgramHost::DoWork() {
  if (!HasWork()) return;
  if (replay_) return ReplayWork();
  if (!started_) {
    started_ = true;
    runner_->RunFrom();
    return;
  }
  if (!events_.empty()) {
    const std::string label = std::move(events_.front());
    events_.pop_front();
    // As the window raises events: a label the macro lacks is no event.
    if (runner_->HasLabel(label)) {
      runner_->RunFrom(label);
    } else {
      Say(Stream::kConsole, "event " + Cp932ToUtf8(label) + ": the macro has no such label");
    }
    return;
  }
  End(messages_ > 0 ? 2 : 0);
}

void ProgramHost::ReplayWork() {
  if (!replay_->Done()) {
    if (std::optional<ReplayedStep> step = replay_->Advance()) ReportStep(*step);
    if (!replay_->Done()) return;
  }
  if (replay_->Failed()) return End(replayExit_);
  Say(Stream::kConsole, replay_->Script().file + ": passed");
  End(0);
}

void ProgramHost::ReportStep(const ReplayedStep& step) {
  const StepResult& r = step.result;
  const std::string& file = replay_->Script().file;
  if (r.status == StepResult::Status::kOk) {
    if (step.check && r.stepDone)
      Say(Stream::kConsole, file + ": line " + std::to_string(r.line) + " (" + r.step + "): passed");
    return;
  }
  Say(Stream::kStderr, file + ": " + FailureText(r));
  // As `qmt run --scenario` ends.
  replayExit_ = r.status == StepResult::Status::kError ? 1 : 2;
}

void ProgramHost::End(int exitCode) {
  ended_ = true;
  if (onEnded) onEnded(exitCode);
}

void ProgramHost::Stop() {
  if (debugger_) debugger_->Stop();
}

}  // namespace qmt
