// The built-in pump-panel macro, run the way the simulator runs it: compiled
// by the data module, started from its first line, then driven by keys,
// sliders, sensor switches and the 33 ms timer.  Nothing it does may end in a
// run message or a device error.
#include <gtest/gtest.h>

#include <algorithm>
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

// Switches turned on while another screen is shown appear when screen A
// comes back: the page is the one reached by turning them on while A is
// shown and then going to B and back.
TEST_F(DefaultMacro, ScreenAShowsTheInputsThatChangedWhileAway) {
  const char* const captions[] = {"PTO", "SFT1", "SLSuct"};
  auto turn = [&](bool on) {
    for (const char* caption : captions) {
      const int sw = Simulator::SwitchByCaption(caption);
      ASSERT_GE(sw, 0) << caption;
      sim.SetSwitch(sw, on);
      sim.ReadInputs();
      Raise(std::string("chg") + caption);
    }
  };
  auto page0 = [] { return std::vector<std::uint8_t>(Device().Page(0), Device().Page(0) + 640 * 480); };
  turn(true);
  Raise("B");
  Raise("A");
  const std::vector<std::uint8_t> expected = page0();
  turn(false);
  const std::vector<std::uint8_t> off = page0();
  Raise("B");
  turn(true);
  Raise("A");
  const std::vector<std::uint8_t> back = page0();
  ASSERT_NE(off, expected);
  int differ = 0;
  for (std::size_t i = 0; i < back.size(); ++i) differ += back[i] != expected[i];
  EXPECT_EQ(differ, 0) << "first at (" << [&] {
    for (std::size_t i = 0; i < back.size(); ++i)
      if (back[i] != expected[i]) return std::to_string(i % 640) + "," + std::to_string(i / 640);
    return std::string();
  }() << ")";
  EXPECT_TRUE(messages.seen.empty()) << messages.seen[0];
}

// Every pixel of the three screens is drawn by the macro (nothing of what
// the page held before shows through at its right or bottom edge), and the
// water channels run without seams through their bends.
TEST_F(DefaultMacro, ScreensCoverThePageAndChannelsHaveNoSeams) {
  // A colour that none of the screens uses stands for what was there before.
  bool used[256] = {};
  for (int page = 0; page < 3; ++page) {
    for (int i = 0; i < 640 * 480; ++i) used[Device().Page(page)[i]] = true;
  }
  const auto kUntouched = static_cast<std::uint8_t>(std::find(std::begin(used), std::end(used), false) - used);
  ASSERT_FALSE(used[kUntouched]);
  for (int page = 0; page < 3; ++page) std::fill_n(Device().Page(page), 640 * 480, kUntouched);
  sim.StartMacro();
  ASSERT_TRUE(messages.seen.empty()) << messages.seen[0];
  for (int page = 0; page < 3; ++page) {
    const std::uint8_t* p = Device().Page(page);
    int left = 0, firstX = -1, firstY = -1;
    for (int i = 0; i < 640 * 480; ++i) {
      if (p[i] != kUntouched) continue;
      if (left++ == 0) firstX = i % 640, firstY = i / 640;
    }
    EXPECT_EQ(left, 0) << "page " << page << ", first at (" << firstX << "," << firstY << ")";
  }
  // The corners where one channel turns into the next: inside, the empty
  // channel's colour, never its wall's.
  const std::uint8_t* a = Device().Page(0);
  const std::uint8_t inside = a[303 * 640 + 60];
  const struct {
    int x, y;
  } bends[] = {{231, 303}, {231, 307}, {235, 307}, {342, 87}, {342, 91}, {404, 87}, {404, 91}, {555, 293}, {95, 303}};
  for (const auto& b : bends) EXPECT_EQ(a[b.y * 640 + b.x], inside) << b.x << "," << b.y;
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
