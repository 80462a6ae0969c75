// The debugger as the simulator sees it: a debugger bound to a compile made
// with the host's tables, and the inputs that wait while it holds a run.
#pragma once

#include <deque>
#include <string>

#include "host/simulator.h"

namespace qmt {

class NameTables;
class TDebugger;
class TScript;

// Gives `debugger` the line table and names of `compiled`, the external
// names of `tables`, and `spare` (bound to `tables`) for its expressions.
// `spare` and `tables` must outlive the debugger's use of them.
void BindDebugger(TDebugger& debugger, const TScript& compiled, TScript& spare, const NameTables& tables);

// Keys, sensor boxes and slider moves made while a run is held wait here in
// order; a newer move of a slider replaces an older one that still waits.
// The timer does not tick meanwhile (its caller skips the ticks).
class HeldInputs {
 public:
  void Event(std::string label);  // code page 932
  void SetSlider(Slider slider, int position);
  void SetSwitch(int index, bool on);
  bool Empty() const { return inputs_.empty(); }
  std::size_t Size() const { return inputs_.size(); }
  void Clear() { inputs_.clear(); }

  // Once the held run has ended: the events the simulator kept back, then
  // the inputs, in order, until a run is held again.  Returns whether
  // nothing waits any more.
  bool Drain(Simulator& simulator, const SimRunner& runner);

 private:
  struct Input {
    enum class Kind { kEvent, kSlider, kSwitch } kind;
    std::string label;
    int index = 0;
    int value = 0;
  };
  std::deque<Input> inputs_;
};

}  // namespace qmt
