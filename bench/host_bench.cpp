// The built-in pump-panel macro: its compile, the start-up run (INIT draws
// screens B, C and A) and one 33 ms timer tick on screen A (the flow
// animation plus one gauge label).
#include <benchmark/benchmark.h>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "runtime/runner.h"

namespace {

struct Panel {
  qmt::HeadlessToolWindow tool;
  qmt::TDM dm{tool};
  qmt::DataModuleMacroSource source{dm};
  qmt::TRunner runner;
  qmt::RunnerPort runnerPort{runner};
  qmt::Simulator sim{{&runnerPort, &source, nullptr, nullptr, nullptr}};

  bool Start(benchmark::State& state) {
    sim.SetCheckRun(false);
    sim.Activate();
    if (!dm.MacroReady()) state.SkipWithError("the default macro does not compile");
    return dm.MacroReady();
  }
};

void BM_Host_CompileDefaultMacro(benchmark::State& state) {
  qmt::HeadlessToolWindow tool;
  qmt::TDM dm(tool);
  for (auto _ : state) {
    dm.CompileMacro();
    benchmark::DoNotOptimize(dm.Script1.Code().data());
  }
  if (!dm.MacroReady()) state.SkipWithError("the default macro does not compile");
}
BENCHMARK(BM_Host_CompileDefaultMacro)->Unit(benchmark::kMicrosecond);

void BM_Host_StartupRun(benchmark::State& state) {
  Panel panel;
  if (!panel.Start(state)) return;
  const auto image = panel.source.Image();
  for (auto _ : state) {
    panel.runner.LoadImage(image);
    panel.runner.RunFrom();
  }
}
BENCHMARK(BM_Host_StartupRun)->Unit(benchmark::kMillisecond);

void BM_Host_TickScreenA(benchmark::State& state) {
  Panel panel;
  if (!panel.Start(state)) return;
  // Fast rotation keeps the water moving every tick and turns the pump
  // pictures too (SFT1); each tick also finds one gauge marked dirty.
  panel.sim.SetSwitch(qmt::Simulator::SwitchByCaption("SFT1"), true);
  std::uint64_t clock = 0;
  int value = 0;
  for (auto _ : state) {
    value = 1000 - value;
    for (qmt::Slider s : {qmt::Slider::Rot, qmt::Slider::Level, qmt::Slider::Pres, qmt::Slider::Gang,
                          qmt::Slider::Flow})
      panel.sim.SetSlider(s, 500 + value / 4);
    panel.sim.Timer1Timer(clock += 33);
  }
}
BENCHMARK(BM_Host_TickScreenA)->Unit(benchmark::kMicrosecond);

}  // namespace
