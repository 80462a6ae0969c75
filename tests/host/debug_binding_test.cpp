// The simulator while the debugger holds a run: no ticks, and events and
// inputs wait in order and run afterwards.
#include <gtest/gtest.h>

#include "compiler/script.h"
#include "device/qmt3308.h"
#include "host/debug_binding.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/simulator_binding.h"
#include "runtime/debugger.h"
#include "support/encoding.h"

namespace qmt {
namespace {

TEST(HeldRunTest, InputsWaitInOrderWhileARunIsHeld) {
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
  BindDebugger(debugger, script, spare, DebugNamesOf(tables));
  RunnerPort port(runner);
  RunnerLabelSource source(runner);
  Simulator sim({&port, &source});
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
  EXPECT_TRUE(sim.HasWaitingInputs());  // the gauge event of the same tick

  sim.RaiseEvent("onRUN");
  sim.SetSlider(Slider::Rot, 100);
  sim.RaiseEvent("onRUN");
  sim.SetSlider(Slider::Rot, 300);  // replaces the 100 that still waits
  const std::int16_t dtime = value("DTIME1");
  sim.Timer1Timer(33 + 400);  // no tick while held: the time does not count
  EXPECT_EQ(value("anROT"), 0);
  EXPECT_EQ(value("DTIME1"), dtime);
  EXPECT_EQ(value("t"), 0);

  debugger.SetBreakpoints({});
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  EXPECT_TRUE(sim.RunWaitingInputs());
  EXPECT_EQ(value("t"), 1);
  EXPECT_EQ(value("g"), 1);  // before either key
  EXPECT_EQ(value("k"), 2);
  EXPECT_EQ(value("r"), 0);  // both keys ran before the slider's move
  EXPECT_EQ(value("anROT"), 300);
  // The next tick steps the clocks by the 33 ms since the skipped one.
  debugger.SetBreakpoints({});
  sim.Timer1Timer(33 + 400 + 33);
  EXPECT_EQ(value("DTIME1"), dtime + 3);
  EXPECT_EQ(value("t"), 2);
}

TEST(HeldRunTest, DrainingStopsAtTheNextHeldRun) {
  TQMT3308 device;
  TRunner runner;
  runner.SetDevice(&device);
  NameTables tables;
  TScript script, spare;
  ASSERT_TRUE(CompileMacroLines(script, tables, {"EXIT", "onRUN:", "k = k + 1", "EXIT"}).empty());
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  TDebugger debugger(runner);
  BindDebugger(debugger, script, spare, DebugNamesOf(tables));
  RunnerPort port(runner);
  RunnerLabelSource source(runner);
  Simulator sim({&port, &source});
  debugger.SetBreakpoints({{2, ""}});
  sim.RaiseEvent("onRUN");
  ASSERT_TRUE(debugger.Held());
  sim.RaiseEvent("onRUN");
  sim.RaiseEvent("onRUN");
  debugger.Continue();
  EXPECT_FALSE(sim.RunWaitingInputs());  // the first waiting key stops again
  debugger.Continue();
  EXPECT_TRUE(sim.RunWaitingInputs());  // the last one is taken, and held
  EXPECT_TRUE(debugger.Held());
  debugger.Continue();
  EXPECT_FALSE(debugger.Held());
}

}  // namespace
}  // namespace qmt
