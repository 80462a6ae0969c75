#include <gtest/gtest.h>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/simulator_binding.h"
#include "simulator_fakes.h"
#include "support/encoding.h"

namespace qmt {
namespace {

// The simulator over the real compiler, runner and device.
struct Bound {
  TQMT3308 device;
  TRunner runner;
  RunnerPort runnerPort{runner};
  HeadlessToolWindow tool;
  TDM dm{tool};
  DataModuleMacroSource macro{dm};
  testing::FakeMessages messages;
  testing::FakeLink link;
  Simulator sim{{&runnerPort, &macro, &messages, &link, nullptr}};

  explicit Bound(const std::vector<std::string>& lines) {
    runner.SetDevice(&device);
    dm.Macro.Items().Assign(lines);
  }
  std::uint8_t Pixel(int x, int y) { return device.Page(0)[y * 640 + x]; }
};

TEST(SimulatorBinding, EventsRunTheCompiledMacroOnTheDevice) {
  Bound b({"GOTO INIT", "INIT:", "box(0,0,9,9,$200+3)", "EXIT", "onRUN:", "box(20,0,29,9,$200+224)", "EXIT",
           Sjis("時間割込:"), "box(40,0,49,9,$200+anPRES)", "EXIT"});
  b.sim.Activate();
  ASSERT_FALSE(b.macro.HasErrors()) << b.tool.ErrLog()[0];
  EXPECT_EQ(b.Pixel(5, 5), 3);
  b.sim.RaiseEvent("ONRUN");  // labels match without regard to case
  EXPECT_EQ(b.Pixel(25, 5), 224);
  b.sim.SetSlider(Slider::Pres, 28);
  b.sim.Timer1Timer(33);
  EXPECT_EQ(b.Pixel(45, 5), 28);
  EXPECT_TRUE(b.messages.shown.empty()) << Cp932ToUtf8(b.messages.shown[0]);
  // Accepted lines went to the device link.
  EXPECT_FALSE(b.link.sent.empty());
}

TEST(SimulatorBinding, RejectedLinesAndRunErrorsReachTheMessageWindow) {
  Bound b({"L:", "GOTO L"});
  b.sim.Activate();
  b.sim.RaiseEvent("L");
  ASSERT_EQ(b.messages.shown.size(), 2u);
  EXPECT_NE(b.messages.shown[0].find(Sjis("無限ループ")), std::string::npos);
}

TEST(SimulatorBinding, CompileErrorsKeepEventsOff) {
  Bound b({"onRUN:", "box(0,0,9,9,"});
  std::uint8_t before = b.Pixel(5, 5);
  b.sim.Activate();
  EXPECT_TRUE(b.macro.HasErrors());
  EXPECT_FALSE(b.macro.MacroReady());
  b.sim.RaiseEvent("onRUN");
  EXPECT_EQ(b.Pixel(5, 5), before);
  EXPECT_EQ(b.tool.ErrPageShown(), 1) << "by the compile; events are off";
  EXPECT_TRUE(b.link.sent.empty());
}

}  // namespace
}  // namespace qmt

namespace qmt {
namespace {

// The headless tool's set-up: the image is loaded by the caller and the
// simulator only supplies the inputs and the timer.
TEST(SimulatorBinding, HeadlessTicksOverALoadedRunner) {
  TQMT3308 device;
  HeadlessToolWindow tool;
  TDM dm{tool};
  dm.Macro.Items().Assign({Sjis("時間割込:"), "n=n+1", "EXIT", Sjis("回転計:"), "box(0,0,9,9,$200+anROT)", "EXIT"});
  dm.CompileMacro();
  ASSERT_TRUE(dm.MacroReady());
  TRunner runner;
  runner.SetDevice(&device);
  std::vector<std::string> messages;
  runner.onMessage = [&](const std::string& m) { messages.push_back(Cp932ToUtf8(m)); };
  dm.Script1.ListLabels(runner.labels);
  ASSERT_TRUE(runner.LoadImage(dm.Script1.Code()));
  RunnerPort port(runner);
  RunnerLabelSource labels(runner);
  Simulator sim({&port, &labels});
  sim.SetSlider(Slider::Rot, 77);  // a colour no other test leaves in the built-ins' colour cache
  std::uint64_t clock = 0;
  for (int i = 0; i < 5; ++i) sim.Timer1Timer(clock += 33);
  EXPECT_EQ(runner.externals[kExtDtime1], 15);
  EXPECT_EQ(device.Page(0)[5 * 640 + 5], 77) << "the rotation gauge label ran on the fifth tick";
  EXPECT_TRUE(messages.empty()) << messages[0];
}

}  // namespace
}  // namespace qmt
