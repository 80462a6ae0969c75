// The language engine on small macros: the places it finds, the help it
// gives, the names it follows.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/name_tables.h"
#include "lang/macro_model.h"
#include "support/encoding.h"

namespace qmt::lang {
namespace {

const char* const kMacro =
    "start:\r\n"
    "  x = 1\r\n"
    "  box(10, 20, 30, 40, 赤)\r\n"
    "  GOSUB 下位\r\n"
    "  d(\"DS0\")\r\n"
    "  y = x + anLEVEL\r\n"
    "下位:\r\n"
    "  RET x\r\n"
    "onRUN:\r\n"
    "  EXIT\r\n";

struct Fixture : ::testing::Test {
  NameTables tables;
  MacroModel model{tables};
  void SetUp() override { model.SetText(Sjis(kMacro)); }
};

TEST_F(Fixture, CleanMacroHasNoDiagnostics) { EXPECT_TRUE(model.Diagnostics().empty()); }

TEST(Model, DiagnosticsPointAtTheToken) {
  NameTables tables;
  MacroModel model(tables);
  // Columns are bytes of code page 932: the kanji before counts two.
  model.SetText(Sjis("a:\r\n  漢 = 1\r\n  漢 = 漢 + zz\r\n"));
  ASSERT_EQ(model.Diagnostics().size(), 1u);
  const Diagnostic& d = model.Diagnostics()[0];
  EXPECT_EQ(d.span, (Span{2, 12, 2}));
  EXPECT_EQ(d.code, "undefined-variable");
  EXPECT_EQ(d.message, "変数 zz が未定義");
  // A fatal one, and text that stops the compiler, still give one message.
  model.SetText(Sjis("x = (1\r\n"));
  ASSERT_EQ(model.Diagnostics().size(), 1u);
  EXPECT_TRUE(model.Diagnostics()[0].fatal);
  EXPECT_EQ(model.Diagnostics()[0].span.line, 0);
}

TEST_F(Fixture, Hover) {
  struct Case {
    int line, column;
    std::string contains;
  } cases[] = {
      {2, 3, "`box` — 四角"},        // built-in: the manual's entry
      {4, 6, "`DS` — 表示ページ"},    // mnemonic inside d("...")
      {2, 22, "224"},                 // constant: its value
      {5, 12, "0〜1000"},             // external value: meaning and range
      {8, 2, "swRUN"},                // event label: what raises it
      {3, 3, "GOSUB"},                // keyword
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contains);
    auto h = model.HoverAt(c.line, c.column);
    ASSERT_TRUE(h);
    EXPECT_NE(h->markdown.find(c.contains), std::string::npos) << h->markdown;
  }
  EXPECT_FALSE(model.HoverAt(1, 6));  // a number
}

TEST_F(Fixture, Completion) {
  auto labels = [](const std::vector<Completion>& items) {
    std::vector<std::string> out;
    for (const Completion& c : items) out.push_back(c.label);
    return out;
  };
  // After GOSUB: the labels only.
  auto after = labels(model.CompleteAt(3, 8));
  EXPECT_EQ(after, (std::vector<std::string>{"onRUN", "start", "下位"}));
  // Inside d("..."): the 47 commands.
  auto commands = model.CompleteAt(4, 5);
  EXPECT_EQ(commands.size(), 47u);
  // Elsewhere: built-ins with snippets, keywords, constants, externals.
  auto all = model.CompleteAt(1, 2);
  auto box = std::find_if(all.begin(), all.end(), [](const Completion& c) { return c.label == "box"; });
  ASSERT_NE(box, all.end());
  EXPECT_EQ(box->snippet, "box(${1:x}, ${2:y}, ${3:幅}, ${4:高さ}, ${5:モード})");
  for (const char* want : {"GOSUB", "赤", "anLEVEL", "x", "時間割込"})
    EXPECT_NE(std::find(labels(all).begin(), labels(all).end(), want), labels(all).end()) << want;
  // The tables' unused slots (lines of spaces) are no names to offer.
  for (const Completion& c : all) EXPECT_NE(c.label.find_first_not_of(' '), std::string::npos) << "'" << c.label << "'";
}

TEST_F(Fixture, SignatureHelp) {
  auto s = model.SignatureAt(2, 14);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->label, "box(x, y, 幅, 高さ, モード)");
  EXPECT_EQ(s->activeParameter, 2);
  EXPECT_FALSE(model.SignatureAt(1, 4));
}

TEST_F(Fixture, NamesDefinitionsAndReferences) {
  // GOSUB 下位 -> the label's line.
  auto def = model.Definition(3, 9);
  ASSERT_TRUE(def);
  EXPECT_EQ(*def, (Span{6, 0, 4}));
  // x: assigned on line 1, read on lines 5 and 7.
  auto refs = model.References(7, 6);
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_TRUE(refs[0].definition);
  std::string why;
  EXPECT_TRUE(model.CanRename(7, 6, why));
  EXPECT_FALSE(model.CanRename(2, 22, why));  // a constant of the tables
  EXPECT_FALSE(model.CanRename(8, 1, why));   // an event label
  auto symbols = model.Symbols();
  ASSERT_EQ(symbols.size(), 3u);
  EXPECT_EQ(symbols[0].endLine, 5);
  EXPECT_TRUE(symbols[2].event);
  EXPECT_EQ(symbols[2].endLine, 9);
}

// A rename that would change what the macro does is refused: two variables
// becoming one, a label defined twice or turned into an event's entry
// (entries are found ignoring letter case), a name the tables hold.
TEST(Model, RenameRefusesNamesThatChangeTheMacro) {
  NameTables tables;
  MacroModel model(tables);
  model.SetText(Sjis(
      "start:\r\n"
      "  x = 1\r\n"
      "  y = x\r\n"
      "  GOSUB sub\r\n"
      "  GOSUB Other\r\n"
      "  GOTO nowhere\r\n"
      "sub:\r\n"
      "  RET x\r\n"
      "Other:\r\n"
      "  RET 0\r\n"
      "onrun:\r\n"
      "  EXIT\r\n"));
  const struct {
    int line, column;
    const char* to;
    bool ok;
  } cases[] = {
      {1, 2, "y", false},        {1, 2, "z", true},         {1, 2, "X", true},      {1, 2, "x", true},
      {1, 2, "box", false},      {1, 2, "anLEVEL", false},  {1, 2, "1a", false},    {1, 2, "GOTO", false},
      {1, 2, "a b", false},      {1, 2, "sub", true},       {6, 0, "onRUN", false}, {6, 0, "ONSTOP", false},
      {6, 0, "時間割込", false}, {6, 0, "start", false},    {6, 0, "START", false}, {6, 0, "other", false},
      {6, 0, "nowhere", false},  {6, 0, "Sub", true},       {6, 0, "下位", true},   {6, 0, "x", true},
      {10, 0, "later", false},  // "onrun:" is the entry of the key 作動
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.to) + " at " + std::to_string(c.line));
    std::string why;
    EXPECT_EQ(model.CanRenameTo(c.line, c.column, Sjis(c.to), why), c.ok) << why;
    EXPECT_EQ(why.empty(), c.ok) << why;
  }
  std::string why;
  model.CanRenameTo(6, 0, Sjis("start"), why);
  EXPECT_EQ(why, "the label start is already used (line 1)");
  model.CanRenameTo(1, 2, Sjis("y"), why);
  EXPECT_EQ(why, "the variable y is already used (line 3): the two would become one");
  EXPECT_TRUE(model.Symbols().back().event);
}

}  // namespace
}  // namespace qmt::lang
