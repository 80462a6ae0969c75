// The formatting built-ins: each call from a fresh state, with the lines it
// sends, its result and its error code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace qmt {
namespace {

using testing::ContextFixture;

// Argument values standing for "the offset of string k of the row".
constexpr int kS0 = 100000;
constexpr int kS1 = 100001;

struct CallCase {
  const char* call;  // for the failure message
  TBuiltin builtin;
  std::vector<std::string> strings;  // UTF-8, placed in the code area
  std::vector<int> args;
  std::vector<std::string> lines;
  int result;
  std::uint16_t error = 0;
};

// Each case is named by its call in test lists, not by its bytes (which hold
// pointers and so change from one build to the next).
void PrintTo(const CallCase& c, std::ostream* os) { *os << c.call; }

class BuiltinCallTest : public ContextFixture, public ::testing::WithParamInterface<CallCase> {};

TEST_P(BuiltinCallTest, SendsLinesAndReturns) {
  const CallCase& c = GetParam();
  std::vector<std::int16_t> offsets;
  for (const std::string& s : c.strings) offsets.push_back(Str(Sjis(s)));
  std::vector<std::int16_t> args;
  for (int a : c.args) args.push_back(a >= kS0 ? offsets.at(a - kS0) : static_cast<std::int16_t>(a));
  EXPECT_EQ(Call(c.builtin, args), c.result) << c.call;
  EXPECT_EQ(lines, c.lines) << c.call;
  EXPECT_EQ(context.errorCode, c.error) << c.call;
}

const CallCase kCalls[] = {
    // d
    {"d(\"ER\")", BuiltinD, {"ER"}, {kS0}, {"ER"}, 0},
    {"d(\"TA269,342,#,359,1\",300)", BuiltinD, {"TA269,342,#,359,1"}, {kS0, 300}, {"TA269,342,300,359,1"}, 0},
    {"d(\"PA#,#,0\",10,-4)", BuiltinD, {"PA#,#,0"}, {kS0, 10, -4}, {"PA10,-4,0"}, 0},
    {"d(\"PA#,#,0\",-32768,5)", BuiltinD, {"PA#,#,0"}, {kS0, -32768, 5}, {"PA-32768,5,0"}, 0},
    {"d(\"#\",0)", BuiltinD, {"#"}, {kS0, 0}, {"0"}, 0},
    {"d(\"#\") alone is sent unchanged", BuiltinD, {"#"}, {kS0}, {"#"}, 0},
    {"d(\"$#\",s,7)", BuiltinD, {"MS$,#", "AB"}, {kS0, kS1, 7}, {"MSAB,7"}, 0},
    {"d() sends nothing", BuiltinD, {}, {}, {}, -1},
    {"d with a \"#\" short of its value sends 0", BuiltinD, {"PA#,#,0"}, {kS0, 1}, {"PA1,0,0"}, 0},
    {"d with a \"$\" short of its value sends nothing for it", BuiltinD, {"MS#$,#"}, {kS0, 5}, {"MS5,0"}, 0},
    {"d with extra values ignores them", BuiltinD, {"PR#"}, {kS0, 1, 2}, {"PR1"}, 0},
    // c
    {"c(0x1C)", BuiltinC, {}, {0x1C}, {"CS1C"}, 0x1C},
    {"c(0x21C) takes the low byte", BuiltinC, {}, {0x21C}, {"CS1C"}, 0x1C},
    {"first c(0xFF) sends nothing", BuiltinC, {}, {0xFF}, {}, 0xFF},
    {"c() reads", BuiltinC, {}, {}, {}, 0xFF},
    // box
    {"box(10,20,5,5) keeps mode 0", BuiltinBox, {}, {10, 20, 5, 5}, {"TA10,20,15,25,0"}, 10},
    {"box(0,0,1,1,-1)", BuiltinBox, {}, {0, 0, 1, 1, -1}, {"TA0,0,1,1,1"}, 0},
    {"box(0,0,639,479,$21C)", BuiltinBox, {}, {0, 0, 639, 479, 0x21C}, {"CS1C", "TA0,0,639,479,1"}, 0},
    {"box(5,6,32,32,$1FF) white frame", BuiltinBox, {}, {5, 6, 32, 32, 0x1FF}, {"TA5,6,37,38,0"}, 5},
    {"box(1,2,3,4,$103)", BuiltinBox, {}, {1, 2, 3, 4, 0x103}, {"CS03", "TA1,2,4,6,0"}, 1},
    {"box sums in 32 bits", BuiltinBox, {}, {32767, 0, 32767, 1, 0}, {"TA32767,0,65534,1,0"}, 32767},
    {"box() from the initial state", BuiltinBox, {}, {}, {"TA0,0,16,16,0"}, 0},
    // line
    {"line()", BuiltinLine, {}, {}, {"LA0,0,16,16,1"}, 0},
    {"line(5,5,-10,3)", BuiltinLine, {}, {5, 5, -10, 3}, {"LA5,5,-5,8,1"}, 0},
    {"line(1,2) keeps dx, dy", BuiltinLine, {}, {1, 2}, {"LA1,2,17,18,1"}, 0},
    // MulDiv
    {"MulDiv(700,176,1000)", BuiltinMulDiv, {}, {700, 176, 1000}, {}, 123},
    {"MulDiv(-7,3,2)", BuiltinMulDiv, {}, {-7, 3, 2}, {}, -10},
    {"MulDiv(30000,30000,1) wraps", BuiltinMulDiv, {}, {30000, 30000, 1}, {}, static_cast<std::int16_t>(900000000 & 0xFFFF)},
    {"MulDiv(5,5,0)", BuiltinMulDiv, {}, {5, 5, 0}, {}, 0},
    {"MulDiv(1,2)", BuiltinMulDiv, {}, {1, 2}, {}, 0, kErrArgumentCount},
    // GI
    {"GI()", BuiltinGI, {}, {}, {}, -1},
    // text
    {"text(\"ABC\",16,8,8)", BuiltinText, {"ABC"}, {kS0, 16, 8, 8}, {"HP2,0", "HW'ABC'"}, 0},
    {"text(\"作動\",0,447,16)", BuiltinText, {"作動"}, {kS0, 0, 447, 16}, {"PA0,447,0", "GK'3A6E4630'"}, 0},
    {"text(\"作動\",0,0,32)", BuiltinText, {"作動"}, {kS0, 0, 0, 32}, {"PA0,0,0", "DK'3A6E'", "PA32,0,0", "DK'4630'"}, 0},
    {"text(\"12\",10,20,16)", BuiltinText, {"12"}, {kS0, 10, 20, 16}, {"PA10,20,0", "GK'2331'", "PA26,20,0", "GK'2332'"}, 0},
    {"text(\"$(-/\",0,0,16) row one", BuiltinText, {"$(-/"}, {kS0, 0, 0, 16},
     {"PA0,0,0", "GK'2170'", "PA16,0,0", "GK'214A'", "PA32,0,0", "GK'213E'", "PA48,0,0", "GK'213F'"}, 0},
    {"text(\"a\",0,0,24) DK", BuiltinText, {"a"}, {kS0, 0, 0, 24}, {"PA0,0,0", "DK'2361'"}, 0},
    {"text(\"AB\",0,0,12) GK keeps small bytes", BuiltinText, {"AB"}, {kS0, 0, 0, 12}, {"PA0,0,0", "GK'AB'"}, 0},
    {"text(\"ab\",16,16,6) CW", BuiltinText, {"ab"}, {kS0, 16, 16, 6}, {"CP2,2", "CW'ab'"}, 0},
    {"text(\"ab\",-8,4096,4) cells sent as 0-255", BuiltinText, {"ab"}, {kS0, -8, 4096, 4}, {"CP255,0", "CW'ab'"}, 0},
    {"text(\"AB\\nC\") stops at the control byte", BuiltinText, {"AB\nC"}, {kS0, 0, 0, 8}, {"HP0,0", "HW'AB'"}, 0},
    {"text(\"\\x01AB\") sends nothing", BuiltinText, {"\x01" "AB"}, {kS0, 0, 0, 8}, {}, 0},
    {"text(\"x\",0,0,3)", BuiltinText, {"x"}, {kS0, 0, 0, 3}, {}, -1, kErrTextCommand},
    {"text(\"A作\",0,0,8) kanji below 16", BuiltinText, {"A作"}, {kS0, 0, 0, 8}, {"HP0,0"}, -1, kErrTextCommand},
    {"text() without a string", BuiltinText, {}, {}, {}, -1, kErrMissingParameter},
    // num at each size class
    {"num(350,100,200,16,4,3)", BuiltinNum, {}, {350, 100, 200, 16, 4, 3},
     {"PA100,200,0", "GK'2333'", "PA116,200,0", "GK'2125'", "PA124,200,0", "GK'2335'", "PA140,200,0", "GK'2330'"}, 0},
    {"num(4000,0,0,32,5,3)", BuiltinNum, {}, {4000, 0, 0, 32, 5, 3},
     {"PA0,0,0", "DK'2334'", "PA32,0,0", "DK'2330'", "PA64,0,0", "DK'2125'", "PA80,0,0", "DK'2330'", "PA112,0,0",
      "DK'2330'"}, 0},
    {"num(-7,0,0,16,1,0)", BuiltinNum, {}, {-7, 0, 0, 16, 1, 0}, {"PA0,0,0", "GK'213E'", "PA16,0,0", "GK'2337'"}, 0},
    {"num(5,0,0,8,3,0)", BuiltinNum, {}, {5, 0, 0, 8, 3, 0}, {"HP0,0", "HW'005'"}, 0},
    {"num(12,0,0,8,3,1)", BuiltinNum, {}, {12, 0, 0, 8, 3, 1}, {"HP0,0", "HW'12.'"}, 0},
    {"num(-5,8,8,6,2,0)", BuiltinNum, {}, {-5, 8, 8, 6, 2, 0}, {"CP1,1", "CW'-05'"}, 0},
    {"num(-32768,0,0,8,5,0)", BuiltinNum, {}, {-32768, 0, 0, 8, 5, 0}, {"HP0,0", "HW'-32768'"}, 0},
    {"num width above 10 is 10", BuiltinNum, {}, {123, 0, 0, 8, 15, 0}, {"HP0,0", "HW'0000000123'"}, 0},
    {"num(1,0,0,3,1,0)", BuiltinNum, {}, {1, 0, 0, 3, 1, 0}, {}, -1, kErrTextCommand},
    {"num without width and point", BuiltinNum, {}, {1, 0, 0, 8}, {}, -1, kErrMissingParameter},
    // SelPanel from the initial state
    {"SelPanel(-2)", BuiltinSelPanel, {}, {-2}, {}, 0},
    {"SelPanel(-1)", BuiltinSelPanel, {}, {-1}, {}, 3},
    {"SelPanel(0x1FE) is -2 as a byte", BuiltinSelPanel, {}, {0x1FE}, {}, 0},
    {"SelPanel(4)", BuiltinSelPanel, {}, {4}, {}, 0, kErrArgumentCount},
    {"SelPanel()", BuiltinSelPanel, {}, {}, {}, 0, kErrArgumentCount},
    {"SelPanel(3,0,0,0)", BuiltinSelPanel, {}, {3, 0, 0, 0}, {}, 0, kErrArgumentCount},
    {"SelPanel(3,5,5)", BuiltinSelPanel, {}, {3, 5, 5}, {}, 1},
    {"SelPanel(3,5,6)", BuiltinSelPanel, {}, {3, 5, 6}, {}, 0},
    {"SelPanel(2,5,5)", BuiltinSelPanel, {}, {2, 5, 5}, {}, 0},
};

INSTANTIATE_TEST_SUITE_P(Calls, BuiltinCallTest, ::testing::ValuesIn(kCalls));

using BuiltinStateTest = ContextFixture;

TEST_F(BuiltinStateTest, ColourCacheSuppressesRepeatsAndIgnoresRawLines) {
  Call(BuiltinC, {0x1C});
  Call(BuiltinC, {0x1C});
  EXPECT_EQ(Call(BuiltinC, {}), 28);
  Call(BuiltinD, {Str("CS00")});  // a raw colour line is not seen by the cache
  Call(BuiltinC, {0x1C});
  EXPECT_EQ(lines, (std::vector<std::string>{"CS1C", "CS00"}));
}

TEST_F(BuiltinStateTest, MissingTrailingArgumentsKeepThePreviousCall) {
  Call(BuiltinBox, {0, 0, 10, 10, 0x2E0});
  Call(BuiltinBox, {20, 30});
  Call(BuiltinText, {Str("AB"), 0, 32, 8});
  Call(BuiltinText, {Str("C")});
  EXPECT_EQ(lines, (std::vector<std::string>{"CSE0", "TA0,0,10,10,1", "TA20,30,30,40,1", "HP0,2", "HW'AB'", "HP2,2",
                                             "HW'C'"}));
  EXPECT_EQ(state->textX, 24);
}

TEST_F(BuiltinStateTest, TextAndNumAdvanceX) {
  Call(BuiltinNum, {350, 100, 200, 16, 4, 3});
  EXPECT_EQ(state->textX, 100 + 16 + 8 + 16 + 16);
  Call(BuiltinText, {Str("ABC"), 16, 8, 8});
  EXPECT_EQ(state->textX, 40);
}

TEST_F(BuiltinStateTest, FailingTextStillTakesItsPosition) {
  EXPECT_EQ(Call(BuiltinText, {Str("x"), 5, 6, 3}), -1);
  EXPECT_EQ(state->textX, 5);
  EXPECT_EQ(state->textY, 6);
  EXPECT_EQ(state->textSize, 3);
}

TEST_F(BuiltinStateTest, SelPanelSequence) {
  struct StepCase {
    std::vector<std::int16_t> args;
    int result;
    int left;
    int right;
  };
  const StepCase steps[] = {
      {{3}, 1, 3, 0},      // 3 was right: the two swap
      {{1}, 0, 1, 0},      // 1 replaces left
      {{2, 7}, 7, 1, 0},   // not shown: the default
      {{0, -2}, 1, 1, 0},  // 0 is on the right
      {{1, -2}, 0, 1, 0},  // 1 is on the left
      {{2}, 0, 1, 2},      // 2 replaces right
      {{1}, 1, 2, 1},      // 1 was left: swap
  };
  for (const StepCase& s : steps) {
    EXPECT_EQ(Call(BuiltinSelPanel, s.args), s.result) << s.args[0];
    EXPECT_EQ(state->panelLeft, s.left) << s.args[0];
    EXPECT_EQ(state->panelRight, s.right) << s.args[0];
  }
  EXPECT_EQ(context.errorCode, 0);
}

TEST_F(BuiltinStateTest, GISendsThirtyFourBytesWithZeros) {
  std::string pattern(32, '\0');
  pattern[1] = '\x7E';
  pattern[31] = '\xFF';
  const std::int16_t at = static_cast<std::int16_t>(nextString);
  std::memcpy(code->data() + at, pattern.data(), pattern.size());
  EXPECT_EQ(Call(BuiltinGI, {at, 99}), 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "GI" + pattern);
}

// The command-line buffer holds 255 bytes and the terminator.
TEST_F(BuiltinStateTest, DRefusesALineLongerThanTheBuffer) {
  const std::string fits = "MS" + std::string(252, 'A') + "#";  // 254 + "7" = 255 bytes
  EXPECT_EQ(Call(BuiltinD, {Str(fits), 7}), 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 255u);

  lines.clear();
  EXPECT_EQ(Call(BuiltinD, {Str(fits), 70}), -1);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(context.errorCode, kErrLineTooLong);

  // A long string placed by "$" is refused the same way.
  context.errorCode = 0;
  EXPECT_EQ(Call(BuiltinD, {Str("MS$"), Str(std::string(300, 'B'))}), -1);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(context.errorCode, kErrLineTooLong);
}

TEST_F(BuiltinStateTest, LongTextIsSplitIntoLinesNotCut) {
  const std::string text(300, 'A');
  EXPECT_EQ(Call(BuiltinText, {Str(text), 0, 0, 8}), 0);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "HP0,0");
  EXPECT_EQ(lines[1], "HW'" + std::string(251, 'A') + "'");
  EXPECT_EQ(lines[1].size(), 255u);
  EXPECT_EQ(lines[2], "HP251,0");
  EXPECT_EQ(lines[3], "HW'" + std::string(49, 'A') + "'");
  EXPECT_EQ(state->textX, 300 * 8);

  // Kanji at size 16 collect four digits each; a character is never split.
  lines.clear();
  std::string kanji;
  for (int i = 0; i < 70; ++i) kanji += Sjis("作");
  Call(BuiltinText, {Str(kanji), 0, 0, 16});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].size(), 3u + 62 * 4 + 1);
  EXPECT_EQ(lines[2], "PA" + std::to_string(62 * 16) + ",0,0");
  EXPECT_EQ(lines[3].size(), 3u + 8 * 4 + 1);

  // A single-byte character that no longer fits starts the next line too.
  lines.clear();
  Call(BuiltinText, {Str(kanji.substr(0, 62 * 2) + "A"), 0, 0, 16});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].size(), 3u + 62 * 4 + 1);
  EXPECT_EQ(lines[1].back(), '\'');
  EXPECT_EQ(lines[2], "PA" + std::to_string(62 * 16) + ",0,0");
  EXPECT_EQ(lines[3], "GK'2341'");
}

TEST_F(BuiltinStateTest, TextWithALeadByteAtTheEndIsAnError) {
  EXPECT_EQ(Call(BuiltinText, {Str("A\x8D"), 0, 0, 16}), -1);
  EXPECT_EQ(context.errorCode, kErrTextCommand);
}

TEST_F(BuiltinStateTest, FunctionNumberOutsideTheTable) {
  const std::int16_t args[] = {1};
  EXPECT_EQ(CallBuiltin(&context, 13, 1, args), 0);
  EXPECT_EQ(context.errorCode, kErrUndefinedFunction);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace qmt
