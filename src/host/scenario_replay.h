// A scenario replayed under the debugger, one piece of work at a time, so
// that the caller can answer its client (or paint its window) between two
// pieces.  While a run is held the replay stands still: no step is taken
// and no tick counted, and what a step raised while the run was held
// (events, slider moves, sensor boxes) waits in the model, in order, until
// the run has ended.  A step's outcome is known only once every run it
// started has ended, so a run message of a held run is the failure of the
// step that started that run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/scenario.h"
#include "host/scenario_machine.h"

namespace qmt {

class TRunner;

struct ReplayedStep {
  StepResult result;
  bool check = false;  // an expect step
};

class ScenarioReplay {
 public:
  // On a machine of its own, started with `macro`.
  ScenarioReplay(Scenario scenario, CompiledMacro macro);
  // On the caller's target (a window); `start` starts the macro afresh on
  // it, and the target's run messages are those of its runs.
  ScenarioReplay(Scenario scenario, ScenarioTarget& target, std::function<void()> start);
  ~ScenarioReplay();
  ScenarioReplay(const ScenarioReplay&) = delete;
  ScenarioReplay& operator=(const ScenarioReplay&) = delete;

  // On a machine of its own: run messages and lines sent (code page 932,
  // raw bytes), as they come.
  std::function<void(const std::string&)> onMessage;
  std::function<void(const std::string&)> onLine;

  // The own machine's runner, for the debugger to attach to before the start.
  TRunner& Runner();
  const Scenario& Script() const { return scenario_; }

  // Whether a run is held.
  bool Held() const;
  // The replay has passed its last step, or failed at one.
  bool Done() const { return failed_ || (started_ && !pending_ && player_.AtEnd()); }
  bool Failed() const { return failed_; }
  std::uint64_t NowMs() const { return player_.NowMs(); }
  // Simulated time the next step takes (ScenarioPlayer::NextDelayMs); 0
  // when done or while a step waits for its runs.
  int NextDelayMs() const { return Done() || pending_ || !started_ ? 0 : player_.NextDelayMs(); }

  // Does the next piece of work: the start-up run, the inputs that waited
  // while a run was held, or the next step (one tick of a tick step).
  // Returns the step whose runs have all ended, if one has; nothing while a
  // run is held or when done.
  std::optional<ReplayedStep> Advance();

 private:
  class OwnMachine;
  std::optional<ReplayedStep> Settle();

  Scenario scenario_;
  std::unique_ptr<OwnMachine> own_;
  ScenarioTarget& target_;
  std::function<void()> start_;
  ScenarioPlayer player_;
  bool started_ = false;
  bool failed_ = false;
  // The step taken last, while its runs may still be held; line 0 for the
  // start-up run.
  std::optional<ReplayedStep> pending_;
};

}  // namespace qmt
