// The runner against a device of its own: budget, messages, events, the
// sink and the trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "runtime/runner.h"
#include "runtime_fixture.h"

namespace qmt {
namespace {

using testing::CompileMacro;

class RunnerTest : public ::testing::Test {
 protected:
  RunnerTest() {
    runner.SetDevice(&device);
    runner.onMessage = [this](const std::string& m) { messages.push_back(m); };
    runner.onLine = [this](std::string_view l) { accepted.emplace_back(l); };
    RuntimeState() = TRuntimeState();
  }
  ~RunnerTest() override {
    SetTraceEnabled(false);
    SetTraceWriter(nullptr);
  }

  TAByte Load(const std::string& macro) {
    TScript script;
    const TAByte image = CompileMacro(macro, &script);
    runner.labels.clear();
    script.ListLabels(runner.labels);
    EXPECT_TRUE(runner.LoadImage(image));
    return image;
  }

  TQMT3308 device;
  TRunner runner;
  std::vector<std::string> messages;
  std::vector<std::string> accepted;
};

TEST_F(RunnerTest, BudgetStopsAnEndlessLoopAfter10001Steps) {
  const TAByte image = Load("EXIT\nL: GOTO L\n");
  int traced = 0;
  SetTraceWriter([&](std::string_view) { ++traced; });
  SetTraceEnabled(true);
  runner.LoadImage(image);
  EXPECT_EQ(traced, 1);  // LoadImage writes the first line
  EXPECT_EQ(runner.RunFrom("L"), TRunEnd::kBudget);
  EXPECT_EQ(traced, 1 + 10001);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "pc=  5:" + Sjis("無限ループ"));
}

TEST_F(RunnerTest, BudgetCanBeChangedAndCountsOnlyUnfinishedSteps) {
  Load("x=1\nx=2\n");  // four instructions, then the end
  runner.stepBudget = 3;
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kBudget);
  Load("x=1\nx=2\n");
  runner.stepBudget = 4;
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(RunnerTest, BuiltinErrorIsReportedWithTheAddressAfterTheCall) {
  Load("x=1\nx=MulDiv(1,2)\nx=3\n");
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kError);
  // Num 1, Set 0, Num 1, Num 2, FUNC 8: the call ends at 4 + 3 + 2 + 3 + 3 + 4.
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "pc= 19:" + Sjis("引数の数が合わない"));
  EXPECT_EQ(runner.Context().machine.L[0], 1);
}

TEST_F(RunnerTest, EventsRunFromLabelsAndShareVariables) {
  Load("mode=0\nEXIT\nonRUN: mode=mode+1\nx=F(mode)\nEXIT\nonSTOP: DTIME1=mode*10\nEXIT\nF: RET @0\n");
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);
  EXPECT_EQ(runner.RunFrom("onRUN"), TRunEnd::kStopped);
  EXPECT_EQ(runner.Context().machine.SP, 0);
  EXPECT_EQ(runner.RunFrom("ONstop"), TRunEnd::kStopped);  // case is ignored
  EXPECT_EQ(runner.externals[0], 10);
  EXPECT_TRUE(messages.empty());
}

TEST_F(RunnerTest, UnknownLabelIsReportedAndNothingRuns) {
  Load("DTIME1=5\nonRUN: DTIME1=7\n");
  EXPECT_FALSE(runner.HasLabel("onSTOP"));
  EXPECT_EQ(runner.RunFrom("onSTOP"), TRunEnd::kUnknownLabel);
  EXPECT_EQ(runner.externals[0], 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("onSTOP"), std::string::npos);
}

TEST_F(RunnerTest, RejectedLineIsReportedAndTheMacroGoesOn) {
  Load("d(\"ZZ9\")\nd(\"PS1\")\n");
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(messages[0].empty());
  EXPECT_EQ(accepted, (std::vector<std::string>{"PS1"}));
  EXPECT_EQ(device.DrawingPage(), 1);
}

// One call can emit tens of thousands of lines; the line budget keeps such
// a run from hanging the window, and apply to one run at a time.
TEST_F(RunnerTest, LineBudgetStopsARunThatFloodsTheDevice) {
  // arc with 30000 steps sends a move and 30000 short relative lines.
  Load("L: arc(320,240,100,0,$FFFF,30000)\nGOTO L\n");
  EXPECT_EQ(runner.RunFrom("L"), TRunEnd::kError);
  EXPECT_EQ(accepted.size(), static_cast<std::size_t>(kDefaultLineBudget));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "pc= 26:" + Sjis("コマンド行が多すぎる"));
  EXPECT_TRUE(TRunner::TakesLines(&runner));  // outside a run nothing is counted

  // A sink of its own that logs before SinkLine (as the tool window's does)
  // sees the line that crosses the budget, and none after it.
  static int logged;
  logged = 0;
  runner.Context().sink = [](void* owner, int length, const char* bytes) {
    if (!TRunner::TakesLines(owner)) return;
    ++logged;
    TRunner::SinkLine(owner, length, bytes);
  };
  runner.RunFrom("L");
  EXPECT_EQ(logged, kDefaultLineBudget + 1);

  // The counts start again with each run; a smaller budget works alike.
  runner.lineBudget = 5;
  Load("d(\"PA1,1\")\nd(\"PA1,1\")\nd(\"PA1,1\")\nd(\"XX\")\nd(\"PA1,1\")\n");
  for (int run = 0; run < 2; ++run) {
    messages.clear();
    accepted.clear();
    EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);
    EXPECT_EQ(accepted.size(), 4u);
    EXPECT_EQ(messages.size(), 1u);
    runner.Context().machine.PC = runner.Code()[0];
  }
}

// Refused lines never stop a run: what the event draws after a disc partly
// off the screen still arrives.  Past the message budget the rest of the
// run's messages come as one summary line that names the first of them.
TEST_F(RunnerTest, RefusedLinesLetTheRunGoOnWithBoundedMessages) {
  Load("CirFill(0,240,150)\nbox(300,200,20,20,$2E0)\n");
  for (int run = 0; run < 2; ++run) {
    messages.clear();
    accepted.clear();
    EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);
    EXPECT_EQ(accepted.back(), "TA300,200,320,220,1");
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kDefaultMessageBudget) + 1) << "run " << run;
    const std::string summary = messages.back();
    EXPECT_EQ(summary.rfind(Sjis("ほかにメッセージ"), 0), 0u) << Cp932ToUtf8(summary);
    EXPECT_NE(summary.find(Sjis("件(最初: ") + messages[0] + ")"), std::string::npos) << Cp932ToUtf8(summary);
    runner.Context().machine.PC = runner.Code()[0];
  }

  // Small budgets: the count and the first held-back message are exact, and
  // the message that ends the run still comes last.
  runner.messageBudget = 2;
  Load("d(\"X1\")\nd(\"X2\")\nd(\"X3\")\nd(\"X4\")\nd(\"PA1,1\")\nL: GOTO L\n");
  messages.clear();
  accepted.clear();
  device.ExecuteLine("X3");
  const std::string third = device.LastError();
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kBudget);
  EXPECT_EQ(accepted, (std::vector<std::string>{"PA1,1"}));
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[2], SummaryMessage(2, third));
  EXPECT_EQ(Cp932ToUtf8(SummaryMessage(2, Sjis("未定義"))), "ほかにメッセージ2件(最初: 未定義)");
  EXPECT_EQ(messages[3].substr(messages[3].size() - Sjis("無限ループ").size()), Sjis("無限ループ"));

  // Outside a run nothing is held back.
  messages.clear();
  runner.RunFrom("nowhere");
  runner.RunFrom("nowhere");
  runner.RunFrom("nowhere");
  EXPECT_EQ(messages.size(), 3u);

  // A disc far larger than the screen, again and again: only the line
  // budget ends the run.
  runner.messageBudget = kDefaultMessageBudget;
  Load("L: CirFill(0,0,30000)\nGOTO L\n");
  messages.clear();
  accepted.clear();
  EXPECT_EQ(runner.RunFrom("L"), TRunEnd::kError);
  ASSERT_EQ(messages.size(), static_cast<std::size_t>(kDefaultMessageBudget) + 2);
  EXPECT_EQ(messages.back().substr(messages.back().find(':') + 1), Sjis("コマンド行が多すぎる"));
}

TEST_F(RunnerTest, GIReachesTheSinkAsThirtyFourBytes) {
  Load("GI(\"%00%14%00%2A%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00%00\")\n");
  std::vector<std::string> sunk;
  runner.sink = [&](std::string_view line) {
    sunk.emplace_back(line);
    runner.SinkLine(line);
  };
  runner.RunFrom();
  ASSERT_EQ(sunk.size(), 1u);
  EXPECT_EQ(sunk[0].size(), 34u);
  EXPECT_EQ(sunk[0].substr(0, 6), std::string("GI\0\x14\0\x2A", 6));
}

TEST_F(RunnerTest, ErrorInsideAFunctionLeavesAnEmptyStackForTheNextRun) {
  Load("EXIT\nA: y=F(1)\nEXIT\nF: RET MulDiv(@0)\nB: DTIME1=3\nEXIT\n");
  EXPECT_EQ(runner.RunFrom("A"), TRunEnd::kError);
  EXPECT_EQ(runner.Context().machine.SP, 0);
  EXPECT_EQ(runner.Context().machine.RSP, 0);
  EXPECT_EQ(runner.RunFrom("B"), TRunEnd::kStopped);
  EXPECT_EQ(runner.externals[0], 3);
}

TEST_F(RunnerTest, ImageOverTheCodeAreaIsRefused) {
  Load("DTIME1=5\n");
  EXPECT_FALSE(runner.LoadImage(std::vector<std::uint8_t>(65537, 0)));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(runner.RunFrom(), TRunEnd::kStopped);  // the old image still runs
  EXPECT_EQ(runner.externals[0], 5);
  EXPECT_TRUE(runner.LoadImage(std::vector<std::uint8_t>(65536, 0)));
}

TEST_F(RunnerTest, TraceLineFormat) {
  const TAByte image = Load("x=-5\nd(\"PS1\")\n");
  std::vector<std::string> trace;
  SetTraceWriter([&](std::string_view line) { trace.emplace_back(line); });
  SetTraceEnabled(true);
  runner.LoadImage(image);
  runner.RunFrom();
  auto pad = [](std::string s) { return s + std::string(40 - s.size(), ' '); };
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[0], "    8  0  0 " + pad("6E FB FF       Num -5"));
  EXPECT_EQ(trace[1], "   11  1  0 " + pad("C3 00          Set 0") + "( 1: -5   0)");
  EXPECT_EQ(trace[2], "   13  0  0 " + pad("63 04 00       str PS1 4"));
  EXPECT_EQ(trace[3], "   16  1  0 " + pad("81 00 00 01    FUNC 0 stack-1") + "( 1:  4   0)");
}

}  // namespace
}  // namespace qmt
