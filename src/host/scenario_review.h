// Reviewing failed checks, as an approval tool does: the failing checks of
// a list of scenarios one at a time, each accepted (what the check saw
// becomes its baseline or lines file, and the scenario runs again for its
// next failing check) or kept as it is.  qmt test --review asks on its
// standard input, the simulator window in a dialog.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/scenario_machine.h"

namespace qmt {

class ScenarioReview {
 public:
  struct Entry {
    std::string name;  // in reports
    std::string file;  // the scenario file
  };
  struct Item {
    std::size_t index = 0;  // of the entry
    StepResult failure;
    // Only checks of a file can be accepted: not inline lines, not a run
    // message.
    bool acceptable = false;
  };

  ScenarioReview(std::vector<Entry> entries, const CompiledMacro& macro);

  // The failing check under review, running scenarios until one fails;
  // nothing once every scenario has been seen.
  const Item* Current();
  // Writes what the check saw as its file and runs the scenario again.
  // Raises FileError when the file cannot be written, SharedFileDisagrees
  // (host/scenario_update.h) when another check of the file, in this
  // scenario or another of its folder tree, sees something else; the check
  // stays under review.
  void Accept();
  // Leaves the check as it is and goes on with the next scenario.
  void Keep();

  const std::vector<Entry>& Entries() const { return entries_; }
  // How each scenario stands after the review so far (its last run).
  ScenarioReport::Status StatusOf(std::size_t index) const { return status_[index]; }
  // The failure of a scenario that still fails (UTF-8), for its report line.
  const std::string& FailureOf(std::size_t index) const { return failure_[index]; }
  int Accepted() const { return accepted_; }
  int KeptCount() const { return kept_; }

  // Runs the failing scenarios only: the others are known to pass.
  void SetOnlyThese(std::vector<bool> run) { run_ = std::move(run); }

  // Called before each scenario Current() runs, with its index (on the
  // thread that runs Current()).
  void SetProgress(std::function<void(std::size_t index)> progress) { progress_ = std::move(progress); }
  // Ends the review from any thread: a scenario running stops at its next
  // tick, and Current() returns nothing from then on.
  void Stop() { stop_.store(true); }
  bool Stopped() const { return stop_.load(); }

 private:
  std::vector<Entry> entries_;
  const CompiledMacro& macro_;
  std::vector<ScenarioReport::Status> status_;
  std::vector<std::string> failure_;
  std::vector<bool> run_;
  std::size_t next_ = 0;
  std::optional<Item> current_;
  int accepted_ = 0;
  int kept_ = 0;
  std::function<void(std::size_t)> progress_;
  std::atomic<bool> stop_{false};
};

}  // namespace qmt
