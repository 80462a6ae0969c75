// The debugger's cost on a run that does not stop: runtime_bench's loop
// through RunFrom with a debugger attached, with no breakpoints and with 100
// set on lines the loop does not reach.  Compared with BM_Interp_RunFrom,
// the same loop without a debugger, in the same run.  And a timer macro's
// ticks traced by a log point, against the same ticks untraced.
#include <benchmark/benchmark.h>

#include <climits>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "device/qmt3308.h"
#include "host/debug_binding.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "loop_macro.h"
#include "runtime/debugger.h"
#include "runtime/runner.h"
#include "support/encoding.h"

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
  qmt::BindDebugger(debugger, script, spare, qmt::DebugNamesOf(tables));
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

namespace {

// A timer macro as panels have them: each tick counts, works out a value
// and draws a small gauge.
std::vector<std::string> TimerMacro() {
  return {
    "EXIT",
    qmt::Sjis("時間割込:"),
    "  t = t + 1",
    "  n = t - (t / 100) * 100",
    "  d(\"LA10,10,110,20,0\")",
    "  d(\"LA10,10,60,20,1\")",
    "  EXIT",
  };
}

// 1,000 ticks of the simulator's timer, with the debugger attached and,
// with `logged`, a log point that writes two values on every tick.
void TimerTicks(benchmark::State& state, bool logged) {
  qmt::NameTables tables;
  qmt::TScript script, spare;
  if (!qmt::CompileMacroLines(script, tables, TimerMacro()).empty()) {
    state.SkipWithError("the timer macro does not compile");
    return;
  }
  qmt::TQMT3308 device;
  qmt::TRunner runner;
  runner.SetDevice(&device);
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  qmt::TDebugger debugger(runner);
  qmt::BindDebugger(debugger, script, spare, qmt::DebugNamesOf(tables));
  std::size_t logged_bytes = 0;
  debugger.onLog = [&](const std::string& text, int) { logged_bytes += text.size(); };
  if (logged) {
    std::vector<qmt::TBreakpointRequest> requests;
    requests.push_back({3, "", "", "tick {t}: n = {n}"});
    if (!debugger.SetBreakpoints(requests)[0].verified) {
      state.SkipWithError("the log point is not set");
      return;
    }
  }
  qmt::RunnerPort port(runner);
  qmt::RunnerLabelSource source(runner);
  qmt::Simulator sim({&port, &source});
  std::uint64_t now = 0;
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) sim.Timer1Timer(now += 33);
  }
  if (logged && logged_bytes == 0) state.SkipWithError("nothing was logged");
  state.SetItemsProcessed(1000 * static_cast<std::int64_t>(state.iterations()));
}

void BM_Debug_TimerTicks(benchmark::State& state) { TimerTicks(state, false); }
BENCHMARK(BM_Debug_TimerTicks)->Unit(benchmark::kMillisecond);

void BM_Debug_TimerTicksLogged(benchmark::State& state) { TimerTicks(state, true); }
BENCHMARK(BM_Debug_TimerTicksLogged)->Unit(benchmark::kMillisecond);

}  // namespace
