// The interpreter: arithmetic, frames and control flow through compiled
// macros, and the safety stops through hand-made images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace qmt {
namespace {

using testing::CompileMacro;
using testing::ContextFixture;

class MachineTest : public ContextFixture {
 protected:
  // Compiles and runs a macro to its end; returns the value of `name`.
  std::int16_t RunMacro(const std::string& macro, const std::string& name = "x") {
    TScript script;
    Load(CompileMacro(macro, &script));
    RunToEnd();
    EXPECT_EQ(context.errorCode, 0) << macro;
    EXPECT_TRUE(context.machine.stopped) << macro;
    return Local(script, name);
  }
  std::int16_t Local(const TScript& script, const std::string& name) {
    std::vector<std::string> vars;
    script.ListVariables(vars);
    for (const std::string& v : vars) {
      if (v.rfind(name + "=", 0) == 0) return context.machine.L[std::stoi(v.substr(name.size() + 1))];
    }
    ADD_FAILURE() << "no variable " << name;
    return 0;
  }
};

TEST_F(MachineTest, ArithmeticWrapsAndCompares) {
  struct Case {
    const char* macro;
    int x;
  };
  const Case cases[] = {
      {"a=7\nb=-2\nx=a/b\n", -3},
      {"a=-7\nb=2\nx=a/b\n", -3},
      {"a=200\nx=a*a\n", -25536},
      {"a=-32768\nb=-1\nx=a/b\n", -32768},
      {"a=32767\nx=a+1\n", -32768},
      {"a=-32768\nx=-a\n", -32768},
      {"a=5\nx=!a\n", 0},
      {"a=0\nx=!a\n", 1},
      {"a=3\nx=(a<5)+(a>5)*2+(a==3)*4+(a>=3)*8+(a<=2)*16\n", 13},
      {"a=-1\nx=(a<1)\n", 1},
      {"a=12\nx=(a&10)|(a XOR 5)\n", 9},
      {"a=0\nx=0\nIF a THEN x=1\nIF a==0 THEN x=x+2\n", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunMacro(c.macro), c.x) << c.macro;
  }
}

TEST_F(MachineTest, FunctionCallLeavesTheStackAsItWas) {
  EXPECT_EQ(RunMacro("y=F(2,3)\nEXIT\nF: RET @0+@1\n", "y"), 5);
  EXPECT_EQ(context.machine.SP, 0);
  EXPECT_EQ(context.machine.RSP, 0);
  // A function calling a function, with its arguments in the middle of an
  // expression.
  EXPECT_EQ(RunMacro("y=1+G(4)*2\nEXIT\nG: RET F(@0,10)-1\nF: RET (@0)*(@1)\n", "y"), 79);
  EXPECT_EQ(context.machine.SP, 0);
}

TEST_F(MachineTest, DoLoopsCountAndNest) {
  EXPECT_EQ(RunMacro("n=0\nDO 3\nn=n+1\n@0=(@0)+(-1)\nWHILE @0>0\nEXIT\n", "n"), 3);
  EXPECT_EQ(context.machine.SP, 0);
  EXPECT_EQ(RunMacro("n=0\nDO 3\nDO 4\nn=n+1\n@0=(@0)+(-1)\nWHILE @0>0\n@0=(@0)+(-1)\nWHILE @0>0\n", "n"), 12);
  EXPECT_EQ(context.machine.SP, 0);
  EXPECT_EQ(context.machine.RSP, 0);
  // The body runs once even when the condition is false at once.
  EXPECT_EQ(RunMacro("n=0\nDO 0\nn=n+1\nWHILE 0\n", "n"), 1);
}

TEST_F(MachineTest, LoopInsideAFunctionSumsItsCounter) {
  EXPECT_EQ(RunMacro("y=SUM(4)\nEXIT\nSUM: t=0\nDO @0\nt=t+@0\n@0=(@0)+(-1)\nWHILE @0>0\nRET t\n", "y"), 10);
  EXPECT_EQ(context.machine.SP, 0);
}

TEST_F(MachineTest, GosubReturnsAfterTheCallAndExitEndsTheRun) {
  EXPECT_EQ(RunMacro("x=1\nGOSUB S\nx=x+10\nEXIT\nx=100\nS: x=x*5\nEXIT\n"), 15);
}

TEST_F(MachineTest, RetAtTopLevelEndsWithItsValueInS0) {
  RunMacro("RET 42\nx=1\n");
  EXPECT_EQ(context.machine.S[0], 42);
}

TEST_F(MachineTest, LocalsSurviveFromRunToRun) {
  TScript script;
  Load(CompileMacro("x=x+1\n", &script));
  RunToEnd();
  InitMachine(context.machine, *code);
  RunToEnd();
  EXPECT_EQ(Local(script, "x"), 2);
}

TEST_F(MachineTest, ExternalsAreReadAndWritten) {
  externals[5] = 40;
  RunMacro("x=anPRES+2\nDTIME2=x*2\n");
  EXPECT_EQ(externals[1], 84);
}

TEST_F(MachineTest, BuiltinsReceiveArgumentsInSourceOrder) {
  RunMacro("d(\"PA#,#,0\",1+1,7)\nx=MulDiv(700,176,1000)\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"PA2,7,0"}));
  EXPECT_EQ(context.machine.SP, 0);
}

TEST_F(MachineTest, StepAfterTheEndDoesNothing) {
  Load({4, 0, 0, 0, 0});
  EXPECT_EQ(Step(context), 1);
  EXPECT_EQ(context.machine.PC, 5);
  EXPECT_EQ(Step(context), 1);
  EXPECT_EQ(context.machine.PC, 5);
}

TEST_F(MachineTest, BytesThatAreNoInstructionAreSkipped) {
  // 7B, then Num 5, Set 0.
  Load({4, 0, 0, 0, 0x7B, 0x01, 0x6E, 5, 0, 0xC3, 0, 0});
  RunToEnd();
  EXPECT_EQ(context.errorCode, 0);
  EXPECT_EQ(context.machine.L[0], 5);
}

// Malformed programs stop with an error and never reach outside the
// machine's arrays.
TEST_F(MachineTest, SafetyStops) {
  struct Case {
    const char* what;
    TAByte image;
    std::uint16_t error;
    std::uint16_t pc;  // the address after the faulting instruction
  };
  const Case cases[] = {
      {"SCLR on an empty stack", {4, 0, 0, 0, 0x20, 0}, kErrStackUnderflow, 5},
      {"+ with one value", {4, 0, 0, 0, 0x6E, 1, 0, 0x2B, 0}, kErrStackUnderflow, 8},
      {"endless pushes", {4, 0, 0, 0, 0x6E, 1, 0, 0x67, 4, 0}, kErrStackOverflow, 7},
      {"endless GOSUB", {4, 0, 0, 0, 0x73, 4, 0}, kErrReturnOverflow, 7},
      {"endless DO", {4, 0, 0, 0, 0x44, 0x67, 4, 0}, kErrReturnOverflow, 5},
      {"endless CALL", {4, 0, 0, 0, 0x80, 4, 0, 0}, kErrReturnOverflow, 8},
      {"@ beyond the stack", {4, 0, 0, 0, 0x6E, 5, 0, 0x40, 0}, kErrArgumentIndex, 8},
      {"@ below the stack", {4, 0, 0, 0, 0x6E, 0xF0, 0xFF, 0x40, 0}, kErrArgumentIndex, 8},
      {"Get@ at top level", {4, 0, 0, 0, 0xC4, 0, 0}, kErrArgumentIndex, 6},
      {"Set@ at top level", {4, 0, 0, 0, 0x6E, 1, 0, 0xC5, 0, 0}, kErrArgumentIndex, 9},
      {"FUNC 13", {4, 0, 0, 0, 0x6E, 1, 0, 0x81, 13, 0, 1, 0}, kErrUndefinedFunction, 11},
      {"FUNC short of arguments", {4, 0, 0, 0, 0x81, 8, 0, 3, 0}, kErrStackUnderflow, 8},
      {"division by zero", {4, 0, 0, 0, 0x6E, 1, 0, 0x6E, 0, 0, 0x2F, 0}, kErrDivisionByZero, 11},
      {"WHILE without DO", {4, 0, 0, 0, 0x6E, 1, 0, 0x57, 0}, kErrReturnUnderflow, 8},
      {"RET in a subroutine", {4, 0, 0, 0, 0x73, 8, 0, 0, 0x6E, 1, 0, 0x52, 0}, kErrStackUnderflow, 12},
      {"IF on an empty stack", {4, 0, 0, 0, 0x69, 4, 0, 0}, kErrStackUnderflow, 7},
      {"SetExt on an empty stack", {4, 0, 0, 0, 0xC1, 3, 0}, kErrStackUnderflow, 6},
  };
  for (const Case& c : cases) {
    Load(c.image);
    context.errorCode = 0;
    RunToEnd(1000);
    EXPECT_EQ(context.errorCode, c.error) << c.what;
    EXPECT_EQ(context.machine.PC, c.pc) << c.what;
    EXPECT_LE(context.machine.SP, kOperandStackSize) << c.what;
    EXPECT_LE(context.machine.RSP, kReturnStackSize) << c.what;
  }
}

TEST(ErrorNameTest, ClassicNamesAndUnknownCodes) {
  EXPECT_EQ(ErrorName(1), Sjis("引数の数が合わない"));
  EXPECT_EQ(ErrorName(2), Sjis("未定義関数"));
  EXPECT_EQ(ErrorName(3), Sjis("未定義命令"));
  EXPECT_EQ(ErrorName(4), Sjis("textコマンドの異常"));
  EXPECT_EQ(ErrorName(5), Sjis("パラメータが無い"));
  EXPECT_EQ(ErrorName(0), "");
  EXPECT_EQ(ErrorName(999), "");
  for (std::uint16_t code = 6; code <= kErrTooManyLines; ++code) EXPECT_FALSE(ErrorName(code).empty()) << code;
}

}  // namespace
}  // namespace qmt
