// The debugger over a runner with a device of its own: binding, stops and
// their reasons, steps, the stack, variables and expressions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "runtime/debugger.h"
#include "runtime/runner.h"
#include "runtime_fixture.h"

namespace qmt {
namespace {

using testing::CompileMacro;

// Lines from 0.
const char* const kMacro =
    "start:\n"               // 0
    "x = 1\n"                // 1
    "y = 0\n"                // 2
    "\n"                     // 3
    "GOSUB sub\n"            // 4
    "z = add(x, 5)\n"        // 5
    "EXIT\n"                 // 6
    "sub:\n"                 // 7
    "y = y + 10\n"           // 8
    "EXIT\n"                 // 9
    "add:\n"                 // 10
    "RET @0 + @1 + 0 * y\n"  // 11
    "loop: i = 0\n"          // 12
    "again: i = i + 1\n"     // 13
    "IF i < 20 THEN GOTO again\n"  // 14
    "w = 1 / (i - 20)\n";    // 15

class DebuggerTest : public ::testing::Test {
 protected:
  DebuggerTest() {
    runner.SetDevice(&device);
    runner.onMessage = [this](const std::string& m) { messages.push_back(m); };
    RuntimeState() = TRuntimeState();
    Load(kMacro);
    debugger.onStopped = [this](TStopReason r) { stops.push_back(r); };
  }

  void Load(const std::string& macro) {
    const TAByte image = CompileMacro(macro, &script);
    runner.labels.clear();
    script.ListLabels(runner.labels);
    ASSERT_TRUE(runner.LoadImage(image));
    debugger.SetDebugInfo(script.DebugInfo());
    // The spare script compiles conditions with the same names.
    spare.OnExtLabel = [](std::string_view name) {
      const auto& names = testing::ExternalNames();
      for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
      return -1;
    };
    debugger.SetExpressionScript(&spare);
    debugger.SetExternalNames({{"DTIME1", 0}, {"anPRES", 5}});
  }

  void Break(std::vector<TBreakpointRequest> requests) { debugger.SetBreakpoints(requests); }

  std::int16_t Value(const std::string& text) {
    std::int16_t v = 0;
    std::string error;
    EXPECT_TRUE(debugger.Evaluate(text, v, error)) << text << ": " << Cp932ToUtf8(error);
    return v;
  }

  TQMT3308 device;
  TRunner runner;
  TScript script, spare;
  TDebugger debugger{runner};
  std::vector<std::string> messages;
  std::vector<TStopReason> stops;
};

TEST_F(DebuggerTest, BreakpointsBindToTheNextLineWithCode) {
  struct Case {
    int line, bound;
    bool verified, moved;
  };
  const Case cases[] = {{1, 1, true, false}, {3, 4, true, true}, {7, 8, true, true},
                        {12, 12, true, false}, {16, -1, false, false}, {400, -1, false, false}};
  std::vector<TBreakpointRequest> requests;
  for (const Case& c : cases) requests.push_back({c.line, ""});
  const std::vector<TBreakpoint>& bound = debugger.SetBreakpoints(requests);
  ASSERT_EQ(bound.size(), std::size(cases));
  for (std::size_t i = 0; i < bound.size(); ++i) {
    SCOPED_TRACE(cases[i].line);
    EXPECT_EQ(bound[i].verified, cases[i].verified);
    EXPECT_EQ(bound[i].line, cases[i].bound);
    EXPECT_EQ(!bound[i].message.empty(), cases[i].moved || !cases[i].verified);
  }
}

TEST_F(DebuggerTest, BreakpointInAFunctionShowsStackArgumentsAndLocals) {
  Break({{11, ""}});
  EXPECT_EQ(runner.RunFrom("start"), TRunEnd::kPaused);
  ASSERT_EQ(stops, std::vector<TStopReason>{TStopReason::kBreakpoint});
  EXPECT_EQ(debugger.CurrentLine(), 11);

  const std::vector<TStackFrame> frames = debugger.StackTrace();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].name, "add");
  EXPECT_EQ(frames[0].line, 11);
  EXPECT_EQ(frames[1].name, "start");
  EXPECT_EQ(frames[1].line, 5);

  const std::vector<TVariable> args = debugger.Arguments();
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0].name, "@0");
  EXPECT_EQ(args[0].value, 1);
  EXPECT_EQ(args[1].value, 5);
  EXPECT_TRUE(debugger.Arguments(1).empty());
  EXPECT_EQ(Value("y"), 10);
  EXPECT_EQ(Value("@1 * 100 + x + anPRES"), 501);

  // Editing while held changes what the run computes.
  std::int16_t stored = 0;
  std::string error;
  ASSERT_TRUE(debugger.SetVariable("@1", "-2 + x", stored, error));
  EXPECT_EQ(stored, -1);
  ASSERT_TRUE(debugger.SetVariable("anPRES", "7", stored, error));
  EXPECT_EQ(runner.externals[5], 7);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  EXPECT_FALSE(debugger.Held());
  EXPECT_EQ(Value("z"), 0);
  EXPECT_TRUE(messages.empty());
}

TEST_F(DebuggerTest, BreakpointsOnACallAndInsideItStackUp) {
  // Run-mode breakpoints lie in the code as traps; the stack still reads
  // the GOSUB under one.
  Break({{4, ""}, {8, ""}});
  EXPECT_EQ(runner.RunFrom("start"), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 4);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 8);
  const std::vector<TStackFrame> frames = debugger.StackTrace();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].name, "sub");
  EXPECT_EQ(frames[1].line, 4);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  EXPECT_EQ(Value("z"), 6);
  // Without breakpoints the image is the compiler's again.
  const TAByte image = script.Code();
  debugger.SetBreakpoints({});
  EXPECT_TRUE(std::equal(image.begin(), image.end(), runner.Code().begin()));
}

TEST_F(DebuggerTest, EvaluationErrorsAreMessagesNotStops) {
  Break({{11, ""}});
  runner.RunFrom("start");
  for (const char* text : {"q", "add(1, 2)", "d(1)", "x +", "@9", "x / 0", "a\nb"}) {
    std::int16_t v;
    std::string error;
    EXPECT_FALSE(debugger.Evaluate(text, v, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::int16_t v;
  std::string error;
  EXPECT_FALSE(debugger.SetVariable("nope", "1", v, error));
  EXPECT_TRUE(debugger.Held());
  EXPECT_EQ(runner.Context().errorCode, 0);
}

TEST_F(DebuggerTest, StepsFollowCallsAndReturns) {
  Break({{4, ""}});
  runner.RunFrom("start");
  ASSERT_EQ(debugger.CurrentLine(), 4);
  EXPECT_EQ(debugger.StepInto(), TRunEnd::kPaused);  // into the subroutine
  EXPECT_EQ(debugger.CurrentLine(), 8);
  EXPECT_EQ(debugger.StackTrace().size(), 2u);
  EXPECT_EQ(debugger.StepOut(), TRunEnd::kPaused);  // back after the GOSUB
  EXPECT_EQ(debugger.CurrentLine(), 5);
  EXPECT_EQ(Value("y"), 10);
  EXPECT_EQ(debugger.StepOver(), TRunEnd::kPaused);  // the call runs to its return
  EXPECT_EQ(debugger.CurrentLine(), 6);
  EXPECT_EQ(Value("z"), 6);
  EXPECT_EQ(debugger.StepOver(), TRunEnd::kStopped);  // off the end of the run
  for (TStopReason r : std::vector<TStopReason>(stops.begin() + 1, stops.end())) EXPECT_EQ(r, TStopReason::kStep);

  // The step goes on at the next run's first statement.
  EXPECT_EQ(runner.RunFrom("sub"), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 8);
  EXPECT_EQ(stops.back(), TStopReason::kStep);
  EXPECT_EQ(debugger.StepInto(), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 9);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  EXPECT_TRUE(messages.empty());
}

TEST_F(DebuggerTest, StepOverAGosubAndIntoAFunction) {
  Break({{4, ""}});
  runner.RunFrom("start");
  EXPECT_EQ(debugger.StepOver(), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 5);
  EXPECT_EQ(debugger.StepInto(), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 11);
  EXPECT_EQ(debugger.StackTrace()[0].name, "add");
  EXPECT_EQ(debugger.StepOut(), TRunEnd::kPaused);
  // Back in the caller, inside the expression: the sum is not stored yet.
  EXPECT_EQ(debugger.CurrentLine(), 5);
  EXPECT_EQ(debugger.StackTrace().size(), 1u);
  EXPECT_EQ(Value("z"), 0);
  EXPECT_EQ(debugger.StepOver(), TRunEnd::kPaused);
  EXPECT_EQ(debugger.CurrentLine(), 6);
  EXPECT_EQ(Value("z"), 6);
  debugger.Stop();
}

TEST_F(DebuggerTest, InstructionStepsListingAndInstructionBreakpoints) {
  Break({{5, ""}});
  runner.RunFrom("start");
  // Over the call: each instruction of line 5 in turn, none of `add`'s.
  std::vector<std::uint16_t> pcs;
  while (debugger.Held() && debugger.CurrentLine() == 5 && pcs.size() < 10) {
    EXPECT_EQ(debugger.StackTrace().size(), 1u);
    pcs.push_back(debugger.CurrentPc());
    EXPECT_EQ(debugger.StepInstructionOver(), TRunEnd::kPaused);
  }
  EXPECT_EQ(debugger.CurrentLine(), 6);
  EXPECT_EQ(Value("z"), 6);
  const std::vector<TInstructionText> listed = debugger.Instructions(pcs[0], 0, static_cast<long>(pcs.size()));
  ASSERT_EQ(listed.size(), pcs.size());
  std::string texts;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].pc, pcs[i]);
    EXPECT_EQ(listed[i].line, 5);
    EXPECT_FALSE(listed[i].bytes.empty());
    texts += listed[i].text + ";";
  }
  EXPECT_NE(texts.find("CALL"), std::string::npos) << texts;
  // Around the program's ends the listing stops short.
  long first = 0;
  EXPECT_EQ(debugger.Instructions(0, -5, 7, &first).size(), 2u);
  EXPECT_EQ(first, 0);
  debugger.Stop();

  // An instruction breakpoint on the call, which a breakpoint on the line
  // cannot stop at; stepping one instruction goes into the function.
  Break({});
  std::size_t call = texts.find("CALL") == std::string::npos ? 0 : std::count(texts.begin(), texts.begin() + texts.find("CALL"), ';');
  TBreakpointRequest at;
  at.address = pcs[call];
  TBreakpointRequest nowhere;
  nowhere.address = pcs[call] + 1;
  const std::vector<TBreakpoint>& bound = debugger.SetInstructionBreakpoints({at, nowhere});
  ASSERT_EQ(bound.size(), 2u);
  EXPECT_TRUE(bound[0].verified);
  EXPECT_EQ(bound[0].line, 5);
  EXPECT_FALSE(bound[1].verified);
  EXPECT_EQ(runner.RunFrom("start"), TRunEnd::kPaused);
  EXPECT_EQ(debugger.Reason(), TStopReason::kBreakpoint);
  EXPECT_EQ(debugger.CurrentPc(), pcs[call]);
  EXPECT_EQ(debugger.StepInstruction(), TRunEnd::kPaused);
  EXPECT_EQ(debugger.StackTrace().size(), 2u);
  EXPECT_EQ(debugger.CurrentLine(), 11);
  debugger.Stop();
}

TEST_F(DebuggerTest, ConditionsUseTheMacrosNames) {
  const std::vector<TBreakpoint>& bound = debugger.SetBreakpoints({{13, "i > 10"}, {14, "i >"}, {1, "f(1)"}});
  EXPECT_TRUE(bound[0].verified);
  EXPECT_FALSE(bound[1].verified);
  EXPECT_FALSE(bound[1].message.empty());
  EXPECT_FALSE(bound[2].verified);
  EXPECT_EQ(runner.RunFrom("loop"), TRunEnd::kPaused);
  EXPECT_EQ(Value("i"), 11);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kPaused);
  EXPECT_EQ(Value("i"), 12);
  debugger.SetBreakpoints({});
  // The division by zero on line 15 holds the run before its message.
  EXPECT_EQ(debugger.Continue(), TRunEnd::kPaused);
  EXPECT_EQ(stops.back(), TStopReason::kException);
  EXPECT_EQ(debugger.CurrentLine(), 15);
  EXPECT_EQ(debugger.StopMessage(), Sjis("ゼロ除算"));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(debugger.Continue(), TRunEnd::kError);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(Sjis("ゼロ除算")), std::string::npos);
}

TEST_F(DebuggerTest, ConditionsRunOnAStackOfTheirOwnAndSayWhyTheyFail) {
  // Line 1 calls `one` with 56 values of its own expression on the stack:
  // with the frame and RET's value, 60 of the 64 cells are in use, so a
  // condition that needs seven would overflow the program's stack.
  std::string deep = "x = 1\nz = ";
  for (int i = 0; i < 56; ++i) deep += "x + (";
  deep += "one(x)" + std::string(56, ')') + "\nEXIT\none:\nRET @0\n";
  struct Case {
    const char* condition;
    bool stops;
    const char* message;  // what the stop says, "" nothing
  };
  const Case cases[] = {
      {"0 + (0 + (0 + (0 + (0 + (0 + (0 + 1))))))", true, ""},
      {"x / 0", true, "ゼロ除算"},
      {"x < 0", false, ""},
  };
  for (const Case& c : cases) {
    stops.clear();
    messages.clear();
    Load(deep);
    Break({{4, c.condition}});
    const TRunEnd end = runner.RunFrom();
    EXPECT_EQ(end, c.stops ? TRunEnd::kPaused : TRunEnd::kStopped) << c.condition;
    EXPECT_TRUE(messages.empty()) << c.condition << ": " << (messages.empty() ? "" : Cp932ToUtf8(messages[0]));
    if (!c.stops) {
      EXPECT_EQ(Value("z"), 57) << c.condition;
      continue;
    }
    EXPECT_EQ(stops, std::vector<TStopReason>{TStopReason::kBreakpoint}) << c.condition;
    const std::string said = Cp932ToUtf8(debugger.StopMessage());
    if (*c.message) {
      EXPECT_NE(said.find(c.message), std::string::npos) << c.condition << ": " << said;
    } else {
      EXPECT_EQ(said, "") << c.condition;
    }
    // Going on from the stop finishes the run as it would have without it.
    EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped) << c.condition;
    EXPECT_TRUE(messages.empty()) << c.condition << ": " << (messages.empty() ? "" : Cp932ToUtf8(messages[0]));
    EXPECT_EQ(Value("z"), 57) << c.condition;
  }
}

TEST_F(DebuggerTest, HitConditionsChooseWhichHitsStop) {
  // Line 13 runs 20 times from "loop"; i is the count of hits before this one.
  struct Case {
    const char* hits;
    std::vector<int> stopsAt;  // i at each stop
  };
  const Case cases[] = {
      {"3", {2}}, {"== 20", {19}}, {"%8", {7, 15}}, {">18", {18, 19}}, {">=19", {18, 19}}, {"", {0, 1, 2}},
  };
  for (const Case& c : cases) {
    Load(kMacro);
    Break({{13, "", c.hits}});
    ASSERT_TRUE(debugger.Breakpoints()[0].verified) << c.hits;
    std::vector<int> seen;
    TRunEnd end = runner.RunFrom("loop");
    while (end == TRunEnd::kPaused && debugger.Reason() == TStopReason::kBreakpoint && seen.size() < 3) {
      seen.push_back(Value("i"));
      end = debugger.Continue();
    }
    EXPECT_EQ(seen, c.stopsAt) << c.hits;
    if (c.stopsAt.size() < 3) {
      EXPECT_EQ(debugger.Breakpoints()[0].hits, 20) << c.hits;
    }
    debugger.Stop();
  }
  for (const char* wrong : {"x", "%0", "=0", "> -1", ">=", "3 times"}) {
    Break({{13, "", wrong}});
    EXPECT_FALSE(debugger.Breakpoints()[0].verified) << wrong;
    EXPECT_NE(Cp932ToUtf8(debugger.Breakpoints()[0].message).find("ヒット条件"), std::string::npos) << wrong;
  }
}

TEST_F(DebuggerTest, LogPointsWriteTheirValuesAndGoOn) {
  std::vector<std::pair<std::string, int>> logs;
  debugger.onLog = [&](const std::string& text, int line) { logs.emplace_back(text, line); };
  Break({{13, "i > 17", "", Sjis("回数 {i} の倍は{i * 2}、{{そのまま}} {1/(i-19)}")}});
  ASSERT_TRUE(debugger.Breakpoints()[0].verified) << Cp932ToUtf8(debugger.Breakpoints()[0].message);
  // No stop until the division by zero of line 15.
  EXPECT_EQ(runner.RunFrom("loop"), TRunEnd::kPaused);
  EXPECT_EQ(debugger.Reason(), TStopReason::kException);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(Cp932ToUtf8(logs[0].first), "回数 18 の倍は36、{そのまま} -1");
  EXPECT_EQ(Cp932ToUtf8(logs[1].first), "回数 19 の倍は38、{そのまま} <ゼロ除算>");
  EXPECT_EQ(logs[1].second, 13);
  debugger.Stop();

  for (const char* wrong : {"{i", "{i +}", "{nosuch(1)}"}) {
    Break({{13, "", "", wrong}});
    EXPECT_FALSE(debugger.Breakpoints()[0].verified) << wrong;
    EXPECT_NE(Cp932ToUtf8(debugger.Breakpoints()[0].message).find("ログの式の誤り"), std::string::npos) << wrong;
  }
}

TEST_F(DebuggerTest, DataBreakpointsStopWhereAValueChanges) {
  auto watch = [&](std::vector<TDataBreakpointRequest> requests) { return debugger.SetDataBreakpoints(requests); };
  const std::vector<TDataBreakpoint> bound = watch({{"y", ""}, {"nosuch", ""}, {"@0", ""}});
  EXPECT_TRUE(bound[0].verified);
  EXPECT_FALSE(bound[1].verified);
  EXPECT_NE(Cp932ToUtf8(bound[1].message).find("未定義"), std::string::npos);
  EXPECT_FALSE(bound[2].verified);  // no frame to take it from
  // "y = 0" leaves y as it was; the subroutine's "y = y + 10" changes it.
  EXPECT_EQ(runner.RunFrom("start"), TRunEnd::kPaused);
  EXPECT_EQ(debugger.Reason(), TStopReason::kDataBreakpoint);
  EXPECT_EQ(Cp932ToUtf8(debugger.StopMessage()), "y: 0 → 10 (9行目で変更)");
  EXPECT_EQ(Value("y"), 10);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  EXPECT_EQ(Value("z"), 6);

  // An external the host moves between runs, with a condition: a stop each
  // time the condition becomes true, at the next run's start.
  watch({{"anPRES", "anPRES > 600"}});
  struct Move {
    std::int16_t value;
    bool stops;
  };
  for (const Move move : {Move{500, false}, Move{700, true}, Move{650, false}, Move{100, false}, Move{800, true}}) {
    runner.externals[5] = move.value;
    const TRunEnd end = runner.RunFrom("sub");
    EXPECT_EQ(end, move.stops ? TRunEnd::kPaused : TRunEnd::kStopped) << move.value;
    if (!move.stops) continue;
    EXPECT_NE(Cp932ToUtf8(debugger.StopMessage()).find("→ " + std::to_string(move.value) + " (実行の外で変更)"),
              std::string::npos)
        << Cp932ToUtf8(debugger.StopMessage());
    EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  }
  EXPECT_TRUE(messages.empty());

  // An argument, taken from the held frame.
  watch({});
  Break({{11, ""}});
  runner.RunFrom("start");
  std::string error;
  EXPECT_TRUE(debugger.CanWatch("@1", 0, error));
  EXPECT_FALSE(debugger.CanWatch("@2", 0, error));
  debugger.Stop();
}

TEST_F(DebuggerTest, ExternalNamesFollowTheOneCaseRule) {
  debugger.SetExternalNames({{Sjis("ＰＲＥＳ"), 5}, {"", 6}});
  Break({{1, ""}});
  runner.RunFrom("start");
  std::int16_t stored = 0;
  std::string error;
  // Full-width letters fold as the compiler folds them.
  ASSERT_TRUE(debugger.SetVariable(Sjis("ｐｒｅｓ"), "42", stored, error)) << Cp932ToUtf8(error);
  EXPECT_EQ(Value(Sjis("ＰＲＥＳ")), 42);
  // The name table's blank entry is no variable.
  const std::vector<TVariable> externals = debugger.Externals();
  ASSERT_EQ(externals.size(), 1u);
  EXPECT_EQ(externals[0].name, Sjis("ＰＲＥＳ"));
  debugger.Stop();
}

TEST_F(DebuggerTest, ExpressionMessagesNameOnlyWhatWasWritten) {
  Break({{1, ""}});
  runner.RunFrom("start");
  for (const char* text : {"x >= 1 & y", "x >= 1 >= 2 +"}) {
    std::int16_t v = 0;
    std::string error;
    EXPECT_FALSE(debugger.Evaluate(text, v, error)) << text;
    EXPECT_EQ(error.find(')'), std::string::npos) << text << ": " << Cp932ToUtf8(error);
    const std::vector<TBreakpoint>& bound = debugger.SetBreakpoints({{1, text}});
    EXPECT_FALSE(bound[0].verified) << text;
    EXPECT_EQ(bound[0].message.find(')'), std::string::npos) << text << ": " << Cp932ToUtf8(bound[0].message);
  }
  EXPECT_EQ(Value("(x >= 0) & 1"), 1);
  debugger.Stop();
}

TEST_F(DebuggerTest, TheBudgetCountsOnlyExecutedInstructions) {
  runner.stepBudget = 60;
  Break({{13, ""}});
  EXPECT_EQ(runner.RunFrom("loop"), TRunEnd::kPaused);
  const long left = runner.StepsLeft();
  // However long the run is held, and however often it is stepped, only the
  // instructions count.
  for (int i = 0; i < 3; ++i) debugger.StepOver();
  EXPECT_LT(runner.StepsLeft(), left);
  EXPECT_GT(runner.StepsLeft(), left - 30);
  debugger.SetBreakpoints({});
  EXPECT_EQ(debugger.Continue(), TRunEnd::kPaused);  // the budget runs out
  EXPECT_EQ(stops.back(), TStopReason::kException);
  EXPECT_EQ(debugger.StopMessage(), Sjis("無限ループ"));
  EXPECT_EQ(debugger.Continue(), TRunEnd::kBudget);
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(DebuggerTest, StopEndsTheRunAndTheNextStartsCleanly) {
  Break({{8, ""}});
  runner.RunFrom("start");
  ASSERT_TRUE(debugger.Held());
  EXPECT_EQ(runner.Context().machine.RSP, 1);
  debugger.Stop();
  EXPECT_FALSE(debugger.Held());
  EXPECT_EQ(runner.Context().machine.RSP, 0);
  EXPECT_EQ(runner.Context().machine.SP, 0);
  debugger.SetBreakpoints({});
  EXPECT_EQ(runner.RunFrom("start"), TRunEnd::kStopped);
  EXPECT_EQ(Value("z"), 6);
  EXPECT_TRUE(messages.empty());
  // A new event while held ends the held run first.
  Break({{8, ""}});
  runner.RunFrom("start");
  EXPECT_EQ(runner.RunFrom("loop"), TRunEnd::kPaused);
  EXPECT_EQ(stops.back(), TStopReason::kException);
  EXPECT_EQ(debugger.CurrentLine(), 15);
  EXPECT_EQ(runner.Context().machine.RSP, 0);
}

TEST_F(DebuggerTest, PauseAndEntryStopAtTheNextRunsFirstStatement) {
  debugger.Pause();
  EXPECT_EQ(runner.RunFrom("sub"), TRunEnd::kPaused);
  EXPECT_EQ(stops.back(), TStopReason::kPause);
  EXPECT_EQ(debugger.CurrentLine(), 8);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
  debugger.StopOnEntry();
  EXPECT_EQ(runner.RunFrom("start"), TRunEnd::kPaused);
  EXPECT_EQ(stops.back(), TStopReason::kEntry);
  EXPECT_EQ(debugger.CurrentLine(), 1);
  EXPECT_EQ(debugger.Continue(), TRunEnd::kStopped);
}

TEST_F(DebuggerTest, WithoutADebuggerRunsAreUntouched) {
  TRunner plain;
  plain.SetDevice(&device);
  TScript own;
  plain.LoadImage(CompileMacro(kMacro, &own));
  own.ListLabels(plain.labels);
  EXPECT_EQ(plain.RunFrom("start"), TRunEnd::kStopped);
  EXPECT_EQ(plain.Hook(), nullptr);
  EXPECT_FALSE(plain.Paused());
}

}  // namespace
}  // namespace qmt
