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
