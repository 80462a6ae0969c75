// The command language: dispatch, the argument readers and the state each
// command leaves, with the exact messages.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "device/commands.h"
#include "device/qmt3308.h"
#include "device_test_util.h"
#include "support/encoding.h"

namespace qmt {
namespace {

struct Case {
  std::string line;                             // raw bytes
  const char* error;                            // UTF-8 message, null when the line must succeed
  std::function<void(const TQMT3308&)> check = {};  // state afterwards, may be empty
  std::vector<std::string> before = {};         // lines run first
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TQMT3308 d;
    for (const std::string& l : c.before) ASSERT_TRUE(d.ExecuteLine(l)) << l << ": " << Cp932ToUtf8(d.LastError());
    bool ok = d.ExecuteLine(c.line);
    if (c.error == nullptr) {
      EXPECT_TRUE(ok) << Cp932ToUtf8(d.LastError());
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(Cp932ToUtf8(d.LastError()), c.error);
    }
    if (c.check) c.check(d);
  }
}

auto PointIs(int x, int y) {
  return [=](const TQMT3308& d) { EXPECT_EQ(d.GraphicPoint(), (Point{x, y})); };
}
auto CursorIs(TextCursor which, int col, int row) {
  return [=](const TQMT3308& d) { EXPECT_EQ(d.Cursor(which), (Point{col, row})); };
}

TEST(Parser, TableHasFortySevenDistinctCommands) {
  EXPECT_EQ(Commands().size(), 47u);
  for (const CommandInfo& c : Commands()) EXPECT_EQ(FindCommand(c.mnemonic[0], c.mnemonic[1]), &c) << c.mnemonic;
  EXPECT_EQ(FindCommand('Z', 'Z'), nullptr);
  EXPECT_EQ(FindCommand('d', 'S'), nullptr);
}

TEST(Parser, Dispatch) {
  RunCases({
      {"", "Abort による中断"},
      {"D", "Abort による中断"},
      {std::string("\0S", 2), "文字列不足"},
      {"\rS", "文字列不足"},
      {"ds0", "不正なコマンド"},
      {"D0", "不正なコマンド"},
      {" DS0", "不正なコマンド"},
      {"ZZ", "不正なコマンド"},
      {"DS0", nullptr},
  });
}

TEST(Parser, BoundedNumbers) {
  RunCases({
      {"DS4", "3より大きい"},
      {"DS-1", "0より小さい"},
      {"DS0 ", "区切が正常でない"},
      {"DS", nullptr, [](const TQMT3308& d) { EXPECT_EQ(d.DisplayPage(), 0); }},  // no digits read as 0
      {"DS3\r\n", nullptr, [](const TQMT3308& d) { EXPECT_EQ(d.DisplayPage(), 3); }},
      {"PS2", nullptr, [](const TQMT3308& d) { EXPECT_EQ(d.DrawingPage(), 2); }},
      {"FS3", nullptr, [](const TQMT3308& d) { EXPECT_EQ(d.StorePageIndex(), 3); }},
      {"LR700,0,1", "-640より大きい"},
      {"LR0,-481,1", "-480より小さい"},
      {"LA641,0,0,0,1", "640より大きい"},
      {"SP640", nullptr, [](const TQMT3308& d) { EXPECT_EQ(d.Advance(), 640); }},
      {"SP641", "640より大きい"},
      // 32-bit wrap: 4294967296 reads as 0.
      {"SP4294967296", nullptr, [](const TQMT3308& d) { EXPECT_EQ(d.Advance(), 0); }},
  });
}

TEST(Parser, PointsAndSeparators) {
  RunCases({
      {"PA100;200", nullptr, PointIs(100, 200)},
      {"PA100,200x", "余分な文字がある", PointIs(0, 0)},
      {"PR10,10x", nullptr, PointIs(10, 10)},
      {"PR10,10,1x", "余分な文字がある", PointIs(0, 0)},
      {"PA1,2,x", "'x' は整数ではありません"},
      {"PA1,2,", "文字列不足"},
      {"PA1,2,1,r", "7色指定不適合"},
      {"PA1,2,1,", "文字列不足"},
      {"PA1,2,1,R", nullptr, PointIs(1, 2)},
      {"PR-5,-7", nullptr, PointIs(-5, -7)},
      // The line ends at its first CR or LF; nothing after it is read.
      {"PA1,2\r,1", nullptr, PointIs(1, 2)},
      {"LA1,2,3,4\r1", "文字列不足"},
      {"LA1,2,3,4\n,1", "文字列不足"},
      {std::string("PA1,2\0,1", 8), nullptr, PointIs(1, 2)},
      {"LA1,2,3,4,1", nullptr, PointIs(3, 4)},
      {"LA1,2,3,4,1;", "余分な文字がある", PointIs(0, 0)},
      {"LA1,2,3,4", "文字列不足"},
      {"LR5,6,0,G", nullptr, PointIs(15, 16), {"PA10,10"}},
      {"TA1,2,3,4,9", nullptr, PointIs(3, 4)},
      {"TA1,2,3,4,x", "'x' は整数ではありません"},
      {"TR-3,-4,5", nullptr, PointIs(7, 6), {"PA10,10"}},
      {"RA320,240,0", nullptr, PointIs(320, 240)},
      {"RA100,100,50,R and more", nullptr, PointIs(100, 100)},
      {"RA100,100,50,r", "7色指定不適合"},
      {"RA100,100,50,", "文字列不足"},
  });
}

TEST(Parser, ColourAndModes) {
  auto colourIs = [](std::uint8_t c) { return [=](const TQMT3308& d) { EXPECT_EQ(d.Colour(), c); }; };
  RunCases({
      {"CS1F", nullptr, colourIs(0x1F)},
      {"CSa0", nullptr, colourIs(0xA0)},
      {"CSF", "16進数じゃない文字が", colourIs(0xFF)},
      {"CS1F0", "余分な文字がある", colourIs(0xFF)},
      {"CH8", nullptr, colourIs(0x43)},
      {"CHa", "16色指定不適合"},
      {"CH", "文字列不足"},
      {"CLR", nullptr, colourIs(0xE0)},
      {"CLRR", "余分な文字がある", colourIs(0xFF)},
      {"CLk", "7色指定不適合"},
      {"MS", nullptr, [](const TQMT3308& d) { EXPECT_TRUE(d.Overlay()); }},
      {"MC", nullptr, [](const TQMT3308& d) { EXPECT_FALSE(d.Overlay()); }, {"MS"}},
      {"RV", nullptr, [](const TQMT3308& d) { EXPECT_TRUE(d.Reverse()); }},
      {"RV", nullptr, [](const TQMT3308& d) { EXPECT_FALSE(d.Reverse()); }, {"RV"}},
      {"RC", nullptr, [](const TQMT3308& d) { EXPECT_FALSE(d.Reverse()); }, {"RV"}},
      {"RR anything", nullptr},
      {"HH anything", nullptr, PointIs(0, 0), {"PA5,5"}},
      {"ER anything", nullptr, PointIs(0, 0), {"PA5,5"}},
      {"FEx", "余分な文字がある"},
  });
}

TEST(Parser, TextCursors) {
  RunCases({
      {"CP79,59", nullptr, CursorIs(TextCursor::k8x8, 79, 59)},
      {"CP80,0", "79より大きい", CursorIs(TextCursor::k8x8, 0, 0)},
      {"CP5,60", "59より大きい", CursorIs(TextCursor::k8x8, 5, 0)},  // column stored before the row fails
      {"CP5,6 ", "区切が正常でない", CursorIs(TextCursor::k8x8, 5, 0)},
      {"HP79,30", "29より大きい", CursorIs(TextCursor::k8x16, 79, 0)},
      {"KP40,0", "39より大きい"},
      {"OP19,14", nullptr, CursorIs(TextCursor::k32x32, 19, 14)},
      {"OP0,15", "14より大きい"},
      {"CF", nullptr, CursorIs(TextCursor::k8x8, 3, 0), {"CP3,59"}},
      {"HF", nullptr, CursorIs(TextCursor::k8x16, 3, 0), {"HP3,29"}},
      {"KF", nullptr, CursorIs(TextCursor::k16x16, 0, 6), {"KP0,5"}},
      {"OF", nullptr, CursorIs(TextCursor::k32x32, 0, 0), {"OP0,14"}},
      {"OFx", "余分な文字がある"},
      {"CR", nullptr, CursorIs(TextCursor::k8x8, 0, 7), {"CP9,7"}},
      {"HR", nullptr, CursorIs(TextCursor::k8x16, 0, 7), {"HP9,7"}},
      {"KR", nullptr, CursorIs(TextCursor::k16x16, 0, 7), {"KP9,7"}},
      {"OR", nullptr, CursorIs(TextCursor::k32x32, 0, 7), {"OP9,7"}},
      // HH and ER home every position together.
      {"HH", nullptr,
       [](const TQMT3308& d) {
         for (int i = 0; i < 4; ++i) EXPECT_EQ(d.Cursor(static_cast<TextCursor>(i)), (Point{0, 0}));
       },
       {"CP1,1", "HP2,2", "KP3,3", "OP4,4"}},
  });
}

TEST(Parser, QuotedTextAndJis) {
  RunCases({
      {"CW", "文字列不足"},
      {"CWABC", "文字列が'で始まっていない"},
      {"CW'ABC", "文字列の途中で終ってる"},
      {"CW'AB\rC'", "文字列の途中で終ってる"},
      {"CW'ABC',r", "7色指定不適合"},
      {"CW'ABC',", "文字列不足"},
      {"CW'ABC'x", "余分な文字がある"},
      {"CW'" + std::string(121, 'A') + "'", "文字列が長すぎる"},
      {"GH'" + std::string(120, 'A') + "'", nullptr, PointIs(16 * 120, 0)},
      {"KW'2G22'", "'$2G' は整数ではありません"},
      {"KW'2420'", nullptr, CursorIs(TextCursor::k16x16, 1, 0)},
      {"GK'2020'", "JISコードの誤り"},
      {"GK'7F21'", "JISコードの誤り"},
      {"GK'2422ABC'", nullptr, PointIs(116, 50), {"PA100,50"}},
  });
}

TEST(Parser, PatternsTakeRawBytes) {
  std::string gi = "GI" + std::string(32, '\0');
  std::string giCrLf = "GI" + std::string(16, '\r') + std::string(16, '\n');
  RunCases({
      {gi, nullptr, PointIs(16, 0)},
      {giCrLf + ",R", nullptr, PointIs(16, 0)},
      {gi + ",r", "7色指定不適合"},
      {gi + ",", "文字列不足"},
      {gi + "x", "余分な文字がある", PointIs(0, 0)},
      {"GI" + std::string(31, '\xFF'), "文字列不足", PointIs(0, 0)},
      {"DI" + std::string(128, 'A'), nullptr, PointIs(48, 0), {"SP48"}},
  });
}

TEST(Parser, TextCommandsMoveTheirPosition) {
  TQMT3308 d;
  ASSERT_TRUE(d.ExecuteLine("CP3,2"));
  ASSERT_TRUE(d.ExecuteLine("CW'AB'"));
  EXPECT_EQ(d.Cursor(TextCursor::k8x8), (Point{5, 2}));
  // A two-byte character counts once.
  ASSERT_TRUE(d.ExecuteLine("HW'" + Sjis("あA") + "'"));
  EXPECT_EQ(d.Cursor(TextCursor::k8x16), (Point{2, 0}));
  ASSERT_TRUE(d.ExecuteLine("SP10"));
  ASSERT_TRUE(d.ExecuteLine("GC'abc',R"));
  EXPECT_EQ(d.GraphicPoint(), (Point{30, 0}));
  EXPECT_EQ(d.Colour(), 0xFF);  // the letter coloured that command only
  // The column runs on past the last cell.
  ASSERT_TRUE(d.ExecuteLine("OP19,0"));
  ASSERT_TRUE(d.ExecuteLine("OW'24222422'"));
  EXPECT_EQ(d.Cursor(TextCursor::k32x32), (Point{21, 0}));
}

TEST(Parser, FailureKeepsLastErrorUntilTheNextFailure) {
  TQMT3308 d;
  EXPECT_FALSE(d.ExecuteLine("XX"));
  EXPECT_TRUE(d.ExecuteLine("DS1"));
  EXPECT_EQ(Cp932ToUtf8(d.LastError()), "不正なコマンド");
}

// LA, TA and PA read short plain numbers the quick way and everything else
// the general way.  Each random line is run beside a twin whose
// non-negative numbers carry leading zeros (always the general way): both
// must succeed or fail alike, with the same message, pixels and point.
TEST(ParserTest, ShortNumbersReadLikeTheGeneralWay) {
  std::mt19937 random(3308);
  const char* heads[] = {"LA", "TA", "PA"};
  const char* tails[] = {",1", ",0", ",1,R", ",2", "", ",1x", ",", ";1"};
  for (int i = 0; i < 3000; ++i) {
    const std::string head = heads[random() % 3];
    const int count = head == "PA" ? 2 : 4;
    std::string fast = head;
    std::string slow = head;
    for (int k = 0; k < count; ++k) {
      const int v = random() % 8 == 0 ? static_cast<int>(random() % 1200) - 20 : static_cast<int>(random() % 500);
      const std::string text = std::to_string(v);
      const bool last = k + 1 == count;
      const std::string sep = last ? "" : (random() % 40 == 0 ? ";" : ",");
      fast += text + sep;
      slow += (v >= 0 ? "000" : "") + text + sep;
    }
    const std::string tail = tails[random() % std::size(tails)];
    fast += tail;
    slow += tail;
    SCOPED_TRACE(fast);
    TQMT3308 a;
    TQMT3308 b;
    const bool okA = a.ExecuteLine(fast);
    const bool okB = b.ExecuteLine(slow);
    ASSERT_EQ(okA, okB);
    if (!okA) {
      ASSERT_EQ(Cp932ToUtf8(a.LastError()), Cp932ToUtf8(b.LastError()));
    }
    ASSERT_EQ(a.GraphicPoint(), b.GraphicPoint());
    ASSERT_EQ(std::memcmp(a.DrawingPageBytes(), b.DrawingPageBytes(), 640 * 480), 0);
  }
}

}  // namespace
}  // namespace qmt
