// The simulator while the debugger holds a run: events and inputs wait in
// order and run afterwards.
#include <gtest/gtest.h>

#include "compiler/script.h"
#include "device/qmt3308.h"
#include "host/held_inputs.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/simulator_binding.h"
#include "runtime/debugger.h"
#include "support/encoding.h"

namespace qmt {
namespace {

TEST(HeldInputsTest, InputsWaitInOrderWhileARunIsHeld) {
  TQMT3308 device;
  TRunner runner;
  runner.SetDevice(&device);
  NameTables tables;
  TScript script, spare;
  const std::vector<std::string> lines = {
      "EXIT",                                   // 0
      Sjis("時間割込:"), "t = t + 1", "EXIT",   // 1-3
      Sjis("水位計:"), "g = k * 10 + 1", "EXIT",  // 4-6
      "onRUN:", "k = k + 1", "r = anROT", "EXIT",  // 7-10
  };
  ASSERT_TRUE(CompileMacroLines(script, tables, lines).empty());
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  TDebugger debugger(runner);
  BindDebugger(debugger, script, spare, tables);
  RunnerPort port(runner);
  RunnerLabelSource source(runner);
  Simulator sim({&port, &source});
  HeldInputs held;
  auto value = [&](const char* name) {
    std::int16_t v = 0;
    std::string error;
    EXPECT_TRUE(debugger.Evaluate(name, v, error)) << name;
    return v;
  };

  sim.SetSlider(Slider::Level, 10);  // the first tick serves the level gauge
  debugger.SetBreakpoints({{2, ""}});
  sim.Timer1Timer(33);
  ASSERT_TRUE(debugger.Held());
  EXPECT_TRUE(sim.HasWaitingEvents());  // the gauge event of the same tick

  held.Event("onRUN");
  held.SetSlider(Slider::Rot, 100);
  held.Event("onRUN");
  held.SetSlider(Slider::Rot, 300);  // replaces the 100 that still waits
  EXPECT_EQ(held.Size(), 3u);
  EXPECT_EQ(value("anROT"), 0);

  debugger.SetBreakpoints({});
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  EXPECT_TRUE(held.Drain(sim, port));
  EXPECT_EQ(value("t"), 1);
  EXPECT_EQ(value("g"), 1);  // before either key
  EXPECT_EQ(value("k"), 2);
  EXPECT_EQ(value("r"), 0);  // both keys ran before the slider's move
  EXPECT_EQ(value("anROT"), 300);
}

TEST(HeldInputsTest, DrainingStopsAtTheNextHeldRun) {
  TQMT3308 device;
  TRunner runner;
  runner.SetDevice(&device);
  NameTables tables;
  TScript script, spare;
  ASSERT_TRUE(CompileMacroLines(script, tables, {"EXIT", "onRUN:", "k = k + 1", "EXIT"}).empty());
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  TDebugger debugger(runner);
  BindDebugger(debugger, script, spare, tables);
  RunnerPort port(runner);
  RunnerLabelSource source(runner);
  Simulator sim({&port, &source});
  HeldInputs held;
  debugger.SetBreakpoints({{2, ""}});
  sim.RaiseEvent("onRUN");
  ASSERT_TRUE(debugger.Held());
  held.Event("onRUN");
  held.Event("onRUN");
  debugger.Continue();
  EXPECT_FALSE(held.Drain(sim, port));  // the first waiting key stops again
  EXPECT_EQ(held.Size(), 1u);
  debugger.Continue();
  EXPECT_TRUE(held.Drain(sim, port));  // the last one is taken, and held
  EXPECT_TRUE(debugger.Held());
  debugger.Continue();
  EXPECT_FALSE(debugger.Held());
}

}  // namespace
}  // namespace qmt
