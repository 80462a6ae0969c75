// Manual pages and completion scripts written from a command description.
#include "support/command_docs.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qmt {
namespace {

TEST(CommandDocs, RoffEscapeKeepsTextFromBeingMarkup) {
  const struct {
    const char* text;
    const char* roff;
  } cases[] = {
      {"--port", "\\-\\-port"},
      {".TH looks like a request", "\\&.TH looks like a request"},
      {"'also a request", "\\&'also a request"},
      {"a\\b", "a\\eb"},
      {"first\n.second", "first\n\\&.second"},
      {"mid.dle 'quote'", "mid.dle 'quote'"},
      {"色(デバッグ)", "色(デバッグ)"},
  };
  for (const auto& c : cases) EXPECT_EQ(RoffEscape(c.text), c.roff) << c.text;
}

CommandDoc Tool() {
  OptionDoc png{{"--png"}, "FILE", ValueKind::kFile, {}, "Write the page\nas a PNG picture", "", false};
  OptionDoc set{{"--set"}, "NAME=VALUE", ValueKind::kText, {}, "Write a value", "", true};
  OptionDoc input{{"FILE"}, "FILE", ValueKind::kFile, {}, "Input file", "-", false};
  CommandDoc run{"run", "Run it", "First paragraph\nwrapped.\n\n.Second one", {png, set}, {input}, {}};
  return CommandDoc{"tool", "tool - does things", "", {}, {}, {run}};
}

TEST(CommandDocs, ManPageJoinsWrappedHelpAndGuardsEveryParagraph) {
  ManPage page;
  page.program = Tool();
  page.version = "tool 1.0";
  page.date = "2026-01-02";
  page.overview = {"It does things.", "Well."};
  page.sections = {{"Files", {}, {{"~/.toolrc", "Settings."}}, {}}};
  page.seeAlso = {"qmt(1)", "qmtsim(1)"};
  const std::string man = WriteManPage(page);
  EXPECT_NE(man.find(".TH TOOL 1 \"2026-01-02\" \"tool 1.0\" \"User Commands\"\n"), std::string::npos) << man;
  // No .PP right under a heading: mandoc -Tlint (as lintian runs it) warns.
  EXPECT_NE(man.find(".SH DESCRIPTION\nIt does things.\n.PP\nWell.\n"), std::string::npos) << man;
  EXPECT_NE(man.find(".SS \"tool run [options] [FILE]\"\n"), std::string::npos) << man;
  EXPECT_NE(man.find("\\fB\\-\\-png\\fR \\fIFILE\\fR\nWrite the page as a PNG picture\n"), std::string::npos) << man;
  EXPECT_NE(man.find("Write a value. May be given more than once.\n"), std::string::npos) << man;
  EXPECT_NE(man.find(".PP\nFirst paragraph wrapped.\n.PP\n\\&.Second one\n"), std::string::npos) << man;
  EXPECT_NE(man.find(".SH FILES\n.TP\n\\fB~/.toolrc\\fR\nSettings.\n"), std::string::npos) << man;
  EXPECT_NE(man.find(".BR qmt (1) ,\n.BR qmtsim (1)\n"), std::string::npos) << man;
}

// A package build sets SOURCE_DATE_EPOCH so that the page is the same in
// every build; a value that is not a time is ignored, not trusted.
TEST(CommandDocs, ManPageDateFollowsSourceDateEpoch) {
  const char* saved = std::getenv("SOURCE_DATE_EPOCH");
  const std::string before = saved ? saved : "";
  ::unsetenv("SOURCE_DATE_EPOCH");
  const std::string today = ManPageDate();
  ASSERT_EQ(today.size(), 10u) << today;
  const struct {
    const char* epoch;
    std::string date;
  } cases[] = {
      {"0", "1970-01-01"},        {"1700000000", "2023-11-14"}, {"253402300799", "9999-12-31"},
      {"253402300800", today},    {"-5", today},                {"12abc", today},
      {"99999999999999999999", today}, {"", today},
  };
  for (const auto& c : cases) {
    ::setenv("SOURCE_DATE_EPOCH", c.epoch, 1);
    EXPECT_EQ(ManPageDate(), c.date) << c.epoch;
  }
  if (saved) ::setenv("SOURCE_DATE_EPOCH", before.c_str(), 1);
  else ::unsetenv("SOURCE_DATE_EPOCH");
}

TEST(CommandDocs, ZshSpecsEscapeWhatArgumentsWouldRead) {
  CommandDoc tool = Tool();
  tool.subcommands[0].options[1].help = "Pick [one]: it's here";
  tool.subcommands[0].options[0].kind = ValueKind::kChoice;
  tool.subcommands[0].options[0].choices = {"none", "ppdev:/dev/parport0"};
  const std::string zsh = WriteZshCompletion(tool);
  EXPECT_NE(zsh.find("'*--set=[Pick \\[one\\]\\: it'\\''s here]:NAME=VALUE: '"), std::string::npos) << zsh;
  EXPECT_NE(zsh.find(":FILE:(none ppdev\\:/dev/parport0)'"), std::string::npos) << zsh;
  EXPECT_NE(zsh.find("'run:Run it'"), std::string::npos) << zsh;
}

}  // namespace
}  // namespace qmt
