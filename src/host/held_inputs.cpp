#include "host/held_inputs.h"

#include <algorithm>

#include "compiler/script.h"
#include "host/name_tables.h"
#include "runtime/debugger.h"

namespace qmt {

void BindDebugger(TDebugger& debugger, const TScript& compiled, TScript& spare, const NameTables& tables) {
  tables.Bind(spare, nullptr);
  debugger.SetExpressionScript(&spare);
  std::vector<std::pair<std::string, int>> externals;
  const std::vector<std::string>& names = tables.ExtValue();
  for (std::size_t i = 0; i < names.size(); ++i) {
    // The first line of a name is the one the compiler finds.
    if (!names[i].empty() && tables.ExternalId(names[i]) == static_cast<int>(i))
      externals.emplace_back(names[i], static_cast<int>(i));
  }
  debugger.SetExternalNames(std::move(externals));
  debugger.SetDebugInfo(compiled.DebugInfo());
}

void HeldInputs::Event(std::string label) { inputs_.push_back({Input::Kind::kEvent, std::move(label)}); }

void HeldInputs::SetSlider(Slider slider, int position) {
  const int index = static_cast<int>(slider);
  std::erase_if(inputs_, [index](const Input& i) { return i.kind == Input::Kind::kSlider && i.index == index; });
  inputs_.push_back({Input::Kind::kSlider, {}, index, position});
}

void HeldInputs::SetSwitch(int index, bool on) { inputs_.push_back({Input::Kind::kSwitch, {}, index, on ? 1 : 0}); }

bool HeldInputs::Drain(Simulator& simulator, const SimRunner& runner) {
  if (!simulator.RunWaitingEvents()) return false;
  while (!inputs_.empty() && !runner.Held()) {
    Input input = std::move(inputs_.front());
    inputs_.pop_front();
    switch (input.kind) {
      case Input::Kind::kEvent:
        simulator.RaiseEvent(input.label);
        break;
      case Input::Kind::kSlider:
        simulator.SetSlider(static_cast<Slider>(input.index), input.value);
        break;
      case Input::Kind::kSwitch:
        simulator.SetSwitch(input.index, input.value != 0);
        break;
    }
    if (!simulator.RunWaitingEvents()) return false;
  }
  return inputs_.empty();
}

}  // namespace qmt
