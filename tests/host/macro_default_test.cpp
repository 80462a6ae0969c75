// The built-in pump-panel macro, run the way the simulator runs it: compiled
// by the data module, started from its first line, then driven by keys,
// sliders, sensor switches and the 33 ms timer.  Nothing it does may end in a
// run message or a device error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "runtime/runner.h"
#include "support/encoding.h"

namespace qmt {
namespace {

struct Messages : SimMessages {
  std::vector<std::string> seen;
  void ShowRunMessage(const std::string& message) override { seen.push_back(Cp932ToUtf8(message)); }
};

struct DefaultMacro : ::testing::Test {
  HeadlessToolWindow tool;
  TDM dm{tool};
  DataModuleMacroSource source{dm};
  TRunner runner;
  RunnerPort runnerPort{runner};
  Messages messages;
  Simulator sim{{&runnerPort, &source, &messages, nullptr, nullptr}};
  std::uint64_t clock = 0;

  void SetUp() override {
    sim.SetCheckRun(false);
    sim.Activate();
  }
  void Raise(const std::string& utf8) { sim.RaiseEvent(Sjis(utf8)); }
  void Tick() { sim.Timer1Timer(clock += 33); }
  std::int16_t Ext(const char* name) { return runner.externals[static_cast<std::size_t>(dm.Script1ExtLabel(name))]; }
};

// Every label the host raises, with what raises it.
const char* const kLabels[] = {"onRUN", "onSTOP",  "onEMG",  "onROT",  "onFLOW", "onGANG", "onPRES", "A",
                               "B",     "C",       "chgPTO", "chgSFT1", "回転計", "流量計", "連成計", "圧力計",
                               "水位計", "時間割込", "swUP",   "swDOWN", "吸水側", "吐水側",
                               // beyond the table: the suction and discharge port switches
                               "chgSLSuct", "chgSRSuct", "chgSLOut1", "chgSROut1", "chgSLOut2", "chgSROut2"};

TEST_F(DefaultMacro, CompilesAndStartsOnScreenA) {
  EXPECT_TRUE(tool.ErrLog().empty()) << Cp932ToUtf8(tool.ErrLog().empty() ? "" : tool.ErrLog()[0]);
  EXPECT_TRUE(dm.MacroReady());
  EXPECT_EQ(Device().DisplayPage(), 0);
  EXPECT_TRUE(messages.seen.empty()) << messages.seen[0];
  for (const char* label : kLabels) EXPECT_TRUE(dm.HasLabel(Sjis(label))) << label;
}

// The start-up run draws three screens in one run; keep a fifth of the step
// budget free so that the macro can grow without hitting it.
TEST_F(DefaultMacro, StartUpLeavesAFifthOfTheStepBudget) {
  TRunner tight;
  std::vector<std::string> seen;
  tight.onMessage = [&](const std::string& m) { seen.push_back(Cp932ToUtf8(m)); };
  tight.labels = dm.LabelTable();
  tight.stepBudget = kDefaultStepBudget * 4 / 5;
  ASSERT_TRUE(tight.LoadImage(dm.Script1.Code()));
  EXPECT_EQ(tight.RunFrom(), TRunEnd::kStopped);
  EXPECT_EQ(tight.RunFrom("A"), TRunEnd::kStopped);  // screen A redrawn in full
  EXPECT_TRUE(seen.empty()) << seen[0];
}

TEST_F(DefaultMacro, EveryLabelRunsCleanlyOnEveryScreen) {
  struct Screen {
    const char* key;
    int page;
  } screens[] = {{"A", 0}, {"B", 1}, {"C", 2}};
  for (const Screen& screen : screens) {
    for (const char* label : kLabels) {
      Raise(screen.key);
      ASSERT_EQ(Device().DisplayPage(), screen.page) << screen.key;
      sim.SetSlider(Slider::Rot, 100 + static_cast<int>(std::string(label).size()) * 37);
      sim.SetSlider(Slider::Pres, 900);
      Raise(label);
      ASSERT_TRUE(messages.seen.empty()) << "screen " << screen.key << ", label " << label << ": "
                                         << messages.seen[0];
    }
  }
}

TEST_F(DefaultMacro, TimerAnimatesScreenAAndResetsTheClockElsewhere) {
  sim.SetSlider(Slider::Rot, 1000);
  const std::uint8_t* page0 = Device().Page(0);
  std::uint8_t before = page0[303 * 640 + 30];  // inside the intake channel
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_NE(page0[303 * 640 + 30], before) << "water did not start to flow";
  EXPECT_EQ(Ext("DTIME1"), 0);

  Raise("B");
  Tick();
  EXPECT_EQ(Ext("DTIME1"), 0);
  EXPECT_GT(Ext("DTIME2"), 0);  // the macro leaves the other clocks alone
}

TEST_F(DefaultMacro, TenThousandTicksWithChangingInputs) {
  const char* const keys[] = {"onRUN", "onROT", "onFLOW", "onGANG", "onPRES", "A", "B", "C", "onSTOP", "onEMG"};
  const Slider sliders[] = {Slider::Rot, Slider::Level, Slider::Pres, Slider::Gang, Slider::Flow, Slider::Throttle};
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int tick = 0; tick < 10000; ++tick) {
    if (tick % 7 == 0) sim.SetSlider(sliders[next() % 6], static_cast<int>(next() % 1001));
    if (tick % 97 == 0) {
      int sw = static_cast<int>(next() % kSwitchCount);
      sim.SetSwitch(sw, !sim.SwitchState(sw));
      sim.ReadInputs();
      Raise(std::string("chg") + kSwitches[sw].caption);
    }
    if (tick % 251 == 0) Raise(keys[next() % 10]);
    Tick();
    ASSERT_TRUE(messages.seen.empty()) << "tick " << tick << ": " << messages.seen[0];
  }
}

}  // namespace
}  // namespace qmt
