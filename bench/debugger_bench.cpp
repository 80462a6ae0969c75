// The debugger's cost on a run that does not stop: runtime_bench's loop
// through RunFrom with a debugger attached, with no breakpoints and with 100
// set on lines the loop does not reach.  Compared with BM_Interp_RunFrom,
// the same loop without a debugger, in the same run.
#include <benchmark/benchmark.h>

#include <climits>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "host/debug_binding.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "loop_macro.h"
#include "runtime/debugger.h"
#include "runtime/runner.h"

namespace {

// The loop of runtime_bench.cpp, then 100 lines that never run.
std::vector<std::string> Macro() {
  std::vector<std::string> lines = qmt::bench::kLoopMacro;
  for (int i = 0; i < 100; ++i) lines.push_back("y=y+" + std::to_string(i));
  return lines;
}

void DebuggedLoop(benchmark::State& state, int breakpoints) {
  qmt::NameTables tables;
  qmt::TScript script, spare;
  qmt::TRunner runner;
  const std::vector<std::string> lines = Macro();
  if (!qmt::CompileMacroLines(script, tables, lines).empty()) {
    state.SkipWithError("the loop macro does not compile");
    return;
  }
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  runner.stepBudget = INT_MAX;
  qmt::TRuntimeContext& context = runner.Context();
  const std::uint16_t start = context.machine.PC;
  std::int64_t perRun = 0;
  while (!qmt::Step(context)) ++perRun;

  qmt::TDebugger debugger(runner);
  qmt::BindDebugger(debugger, script, spare, tables);
  std::vector<qmt::TBreakpointRequest> requests;
  for (int i = 0; i < breakpoints; ++i) requests.push_back({10 + i, ""});
  debugger.SetBreakpoints(requests);
  for (auto _ : state) {
    context.machine.PC = start;
    if (runner.RunFrom() != qmt::TRunEnd::kStopped) state.SkipWithError("the loop did not run to its end");
  }
  state.SetItemsProcessed(perRun * static_cast<std::int64_t>(state.iterations()));
}

void BM_Debug_NoBreakpoints(benchmark::State& state) { DebuggedLoop(state, 0); }
BENCHMARK(BM_Debug_NoBreakpoints)->Unit(benchmark::kMillisecond);

void BM_Debug_100Breakpoints(benchmark::State& state) { DebuggedLoop(state, 100); }
BENCHMARK(BM_Debug_100Breakpoints)->Unit(benchmark::kMillisecond);

}  // namespace
