// links: qmt_host
// The scenario reader on arbitrary text: a bad line must be a ScenarioError,
// nothing else.  A scenario that reads and is short is also played on the
// built-in macro (checks of files are left out, so nothing is read or
// written outside the process).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/data_module.h"
#include "host/scenario.h"
#include "host/scenario_machine.h"

namespace {

const qmt::CompiledMacro& BuiltIn() {
  static const qmt::CompiledMacro macro = [] {
    qmt::HeadlessToolWindow tool;
    qmt::TDM dm(tool);
    dm.CompileMacro();
    qmt::CompiledMacro m{dm.Script1.Code(), {}};
    dm.Script1.ListLabels(m.labels);
    return m;
  }();
  return macro;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qmt::Scenario scenario;
  try {
    scenario = qmt::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz/s.scn");
  } catch (const qmt::ScenarioError&) {
    return 0;
  }
  if (scenario.ticks > 60) return 0;
  for (const qmt::ScenarioStep& step : scenario.steps)
    if (!step.path.empty()) return 0;
  qmt::RunScenario(scenario, BuiltIn(), {});
  return 0;
}
