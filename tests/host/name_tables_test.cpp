// The host's name tables and the compiler wired to them.
#include "host/name_tables.h"

#include <gtest/gtest.h>

#include "compiler/script.h"
#include "host/macro_compile.h"
#include "support/encoding.h"
#include "support/spliter.h"

namespace qmt {
namespace {

TEST(NameTables, BuiltInTables) {
  NameTables t;
  EXPECT_EQ(t.FuncLabel().size(), 13u);
  EXPECT_EQ(t.ExtValue().size(), 29u);
  EXPECT_EQ(t.ExtValue()[28], " ");
  EXPECT_EQ(t.Constant().size(), 8u);
  EXPECT_EQ(t.Constant()[0], Sjis("青=           3"));
  ASSERT_EQ(t.ColorList().size(), 34u);
  EXPECT_EQ(t.ColorList()[0], Sjis("色全背景=$00"));
  EXPECT_EQ(t.ColorList()[15], Sjis("色計器選択=$1F"));
  EXPECT_EQ(t.ColorList()[32], Sjis("色UD文字=$00"));
  EXPECT_EQ(t.ColorList()[33], "");
}

TEST(NameTables, Ids) {
  NameTables t;
  struct Case {
    const char* name;
    int function, external;
  } cases[] = {
      {"d", 0, -1},       {"BOX", 3, -1},      {"SelPanel", 12, -1}, {"selpanel", 12, -1},
      {"dtime1", -1, 0},  {"SFT3", -1, 27},    {"anPRES", -1, 5},    {" ", -1, 28},
      {"SFT", -1, -1},    {"boxx", -1, -1},    {"", -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t.FunctionId(c.name), c.function) << c.name;
    EXPECT_EQ(t.ExternalId(c.name), c.external) << c.name;
  }
}

TEST(NameTables, Constants) {
  NameTables t;
  struct Case {
    const char* name;
    int value;  // -1: not found
  } cases[] = {
      {"青", 3},   {"赤", 224}, {"紫", 227},       {"緑", 28},         {"黄", 252},
      {"水", 31},  {"白", 255}, {"灰", 109},       {"色全背景", 0},    {"色メータ針", 126},
      // The first of two lines with one name wins.
      {"色計器選択", 223},      {"色UD背景", 18},  {"色ud背景", 18},   {"色", -1},
  };
  for (const Case& c : cases) {
    std::int16_t v = -1;
    EXPECT_EQ(t.ConstantValue(Sjis(c.name), v), c.value >= 0) << c.name;
    EXPECT_EQ(v, c.value) << c.name;
  }
}

TEST(NameTables, ColourListSecondSourceAndErrors) {
  NameTables t;
  // A Constant name wins over the colour list; an empty value goes on to
  // the colour list; a colour value that does not evaluate raises.
  t.SetColorList({Sjis("赤=$01"), Sjis("色A="), Sjis("色B=$1F"), Sjis("色C=abc"), "noequals"});
  std::int16_t v = 0;
  EXPECT_TRUE(t.ConstantValue(Sjis("赤"), v));
  EXPECT_EQ(v, 224);
  EXPECT_FALSE(t.ConstantValue(Sjis("色A"), v));
  EXPECT_FALSE(t.ConstantValue(Sjis("色全背景"), v));
  EXPECT_FALSE(t.ConstantValue("noequals", v));
  EXPECT_TRUE(t.ConstantValue(Sjis("色B"), v));
  EXPECT_EQ(v, 31);
  try {
    t.ConstantValue(Sjis("色C"), v);
    FAIL() << "no error";
  } catch (const SilentAbort& e) {
    EXPECT_EQ(Cp932ToUtf8(e.message()), "abcのStringSpliterにおいて数字ないかも");
  }
}

TEST(NameTables, NamesIgnoreTheCaseOfEveryScript) {
  NameTables t;
  t.SetColorList({Sjis("ア=1"), Sjis("色ａ=2"), Sjis("Ωβ=3"), Sjis("Дом=4")});
  std::int16_t v = 0;
  EXPECT_TRUE(t.ConstantValue(Sjis("ア"), v));
  std::string other = Sjis("ア");
  other[1] = 'a';  // 0x83 0x61 is a different character: trail bytes never fold
  EXPECT_FALSE(t.ConstantValue(other, v));
  const struct {
    const char* name;
    int value;
  } found[] = {{"色Ａ", 2}, {"色ａ", 2}, {"ωΒ", 3}, {"ДОМ", 4}, {"дом", 4}};
  for (const auto& f : found) {
    v = 0;
    EXPECT_TRUE(t.ConstantValue(Sjis(f.name), v)) << f.name;
    EXPECT_EQ(v, f.value) << f.name;
  }
  EXPECT_FALSE(t.ConstantValue(Sjis("色A"), v));  // half-width A is another letter
  EXPECT_EQ(t.ExternalId("ANpres"), t.ExternalId("anPRES"));
}

TEST(MacroCompile, CompilesWithTheHostTables) {
  NameTables t;
  TScript script;
  auto lines = SplitLines(Sjis("x=紫+色計器選択\nDTIME1=0\r\nbox(0,0,639,479,$200+色全背景);\rdtime2=ANPRES"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(CompileMacroLines(script, t, lines).empty());
  std::vector<std::string> list;
  script.ListCode(list);
  EXPECT_EQ(list.front(), "        4:6E C2 01       Num 450");
  EXPECT_EQ(list.at(2), "   1    9:6E 00 00       Num 0");
  EXPECT_EQ(list.at(3), "       12:C1 00          SetExt 0");
  EXPECT_EQ(list.at(9), "       29:81 03 00 05    FUNC 3 stack-5");
  EXPECT_EQ(list.at(11), "   3   34:C0 05          GetExt 5");

  // Reported errors and the error that stops a compile both reach the log.
  EXPECT_EQ(CompileMacroLines(script, t, {"x=y", "GOTO z"}),
            (std::vector<std::string>{"  0:" + Sjis("変数 y が未定義"), "  1:" + Sjis("ラベル z が未定義")}));
  EXPECT_EQ(CompileMacroLines(script, t, {"x=1", "#"}),
            std::vector<std::string>{"  1," + Sjis("#は未定義文字") + "\r\n#\r\n"});
  t.SetColorList({Sjis("色X=(1")});
  EXPECT_EQ(CompileMacroLines(script, t, {Sjis("x=色X")}),
            std::vector<std::string>{Sjis("(1のStringSpliterにおいて)じゃなくて") + std::string(1, '\0') +
                                     Sjis("を見つけた")});
}

TEST(MacroCompile, SplitAndJoinLines) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\n\nd\n"), (std::vector<std::string>{"a", "b", "c", "", "d"}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
  EXPECT_EQ(JoinLinesCrLf({"a", ""}), "a\r\n\r\n");
}

}  // namespace
}  // namespace qmt
