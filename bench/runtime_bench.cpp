// The macro runtime: instructions per second through bare Step calls and
// through RunFrom's budgeted loop, the loop that peers_bench runs in Lua, and
// a filled needle repainted one 256th of a turn on.
#include <benchmark/benchmark.h>

#include <climits>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "loop_macro.h"
#include "device/qmt3308.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "runtime/builtins.h"
#include "runtime/runner.h"

namespace {

using qmt::bench::kLoopIterations;
using qmt::bench::kLoopMacro;

bool LoadLoop(qmt::TRunner& runner, benchmark::State& state) {
  qmt::NameTables tables;
  qmt::TScript script;
  if (!qmt::CompileMacroLines(script, tables, kLoopMacro).empty()) {
    state.SkipWithError("the loop macro does not compile");
    return false;
  }
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  runner.stepBudget = INT_MAX;
  return true;
}

void BM_Interp_Step(benchmark::State& state) {
  qmt::TRunner runner;
  if (!LoadLoop(runner, state)) return;
  qmt::TRuntimeContext& context = runner.Context();
  const std::uint16_t start = context.machine.PC;
  std::int64_t steps = 0;
  for (auto _ : state) {
    context.machine.PC = start;
    context.machine.stopped = 0;
    while (!qmt::Step(context)) ++steps;
  }
  if (context.errorCode != 0) state.SkipWithError("the loop stopped with an error");
  state.SetItemsProcessed(steps);
  state.counters["instr/iter"] = static_cast<double>(steps) / static_cast<double>(state.iterations()) /
                                 static_cast<double>(kLoopIterations);
}
BENCHMARK(BM_Interp_Step)->Unit(benchmark::kMillisecond);

// The same program through RunFrom, counting its instructions alike.
void BM_Interp_RunFrom(benchmark::State& state) {
  qmt::TRunner runner;
  if (!LoadLoop(runner, state)) return;
  qmt::TRuntimeContext& context = runner.Context();
  const std::uint16_t start = context.machine.PC;
  // One bare pass to count the instructions the loop executes.
  std::int64_t perRun = 0;
  while (!qmt::Step(context)) ++perRun;
  for (auto _ : state) {
    context.machine.PC = start;
    runner.RunFrom();
  }
  if (context.errorCode != 0) state.SkipWithError("the loop stopped with an error");
  state.SetItemsProcessed(perRun * static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Interp_RunFrom)->Unit(benchmark::kMillisecond);

// Iterations per second of the loop, to set beside BM_Peer_Lua_Loop.
void BM_Peer_Macro_Loop(benchmark::State& state) {
  qmt::TRunner runner;
  if (!LoadLoop(runner, state)) return;
  const std::uint16_t start = runner.Context().machine.PC;
  for (auto _ : state) {
    runner.Context().machine.PC = start;
    runner.RunFrom();
  }
  state.SetItemsProcessed(kLoopIterations * static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Peer_Macro_Loop)->Unit(benchmark::kMillisecond);

// needle(320,240,angle,100,$1FC,slot,0) with the angle one 256th of a turn
// on each time, round and round: the row-by-row repaint and the device's
// drawing of every span it sends.
void BM_Needle_Repaint(benchmark::State& state) {
  qmt::TQMT3308 device;
  qmt::TRunner runner;
  runner.SetDevice(&device);
  qmt::TRuntimeState fresh;
  runner.Context().state = &fresh;
  auto move = [&](std::uint16_t angle) {
    const std::int16_t args[] = {320, 240, static_cast<std::int16_t>(angle), 100, 0x1FC, 1, 0};
    qmt::BuiltinNeedle(runner.Context(), 7, args);
  };
  // One untimed turn counts the lines a move sends on average.
  std::int64_t lines = 0;
  runner.sink = [&](std::string_view line) {
    ++lines;
    runner.SinkLine(line);
  };
  for (int step = 1; step <= 256; ++step) move(static_cast<std::uint16_t>(step * 0x100));
  runner.sink = nullptr;
  std::uint16_t angle = 0;
  for (auto _ : state) {
    angle = static_cast<std::uint16_t>(angle + 0x100);
    move(angle);
  }
  state.counters["lines"] = static_cast<double>(lines) / 256.0;
}
BENCHMARK(BM_Needle_Repaint);

}  // namespace
