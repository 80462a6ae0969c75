// The compiler end to end: images, listings, folding and every message.
#include "compiler/script.h"

#include <gtest/gtest.h>

#include "support/encoding.h"

namespace qmt {
namespace {

// A compiler wired like the host: `d` is built-in 0, `box` 3; DTIME1 and
// anPRES are external values 0 and 5; 水 is the constant 31.  Reported
// errors are collected.
struct Fixture {
  TScript script;
  std::vector<std::string> errors;

  Fixture() {
    script.OnExtFunc = [](std::string_view n) { return n == "d" ? 0 : n == "box" ? 3 : -1; };
    script.OnExtLabel = [](std::string_view n) {
      return n == "DTIME1" ? 0 : n == "anPRES" ? 5 : -1;
    };
    script.OnConstLab = [](std::string_view n, std::int16_t& v) {
      if (n != Sjis("水")) return false;
      v = 31;
      return true;
    };
    script.OnErrorMsg = [this](int, const std::string& m) { errors.push_back(m); };
  }

  // Compiles UTF-8 `lines`, each given its CR LF.
  void Compile(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* l : lines) text += Sjis(l) + "\r\n";
    script.Compile(text);
  }
  std::vector<std::string> Listing() const {
    std::vector<std::string> out;
    script.ListCode(out);
    return out;
  }
  // The listing without line numbers, addresses and hex: "Num 1", "Set 0",
  // and label definitions as "L:".
  std::vector<std::string> Ops() const {
    std::vector<std::string> out;
    for (const std::string& l : Listing()) out.push_back(l[0] == ' ' ? Cp932ToUtf8(l.substr(25)) : Cp932ToUtf8(l));
    return out;
  }
  // The abort message of compiling `text` as given (UTF-8, no line ends added).
  std::string AbortOf(const std::string& text) {
    try {
      script.Compile(Sjis(text));
    } catch (const ScriptAbort& e) {
      return Cp932ToUtf8(e.what());
    }
    return "(no abort)";
  }
};

using Strings = std::vector<std::string>;

TEST(Script, WorkedExampleImageAndListing) {
  Fixture f;
  f.Compile({"x = 1", "IF x THEN d(\"ER\")", "EXIT"});
  EXPECT_TRUE(f.errors.empty());
  TAByte expected{0x07, 0x00, 0x01, 0x00, 0x45, 0x52, 0x00, 0x6E, 0x01, 0x00, 0xC3, 0x00, 0xC2, 0x00,
                  0x69, 0x19, 0x00, 0x63, 0x04, 0x00, 0x81, 0x00, 0x00, 0x01, 0x20, 0x54, 0x00};
  EXPECT_EQ(f.script.Code(), expected);
  EXPECT_EQ(f.Listing(), (Strings{
                             "        7:6E 01 00       Num 1",
                             "       10:C3 00          Set 0",
                             "   1   12:C2 00          Get 0",
                             "       14:69 19 00       IF 25",
                             "       17:63 04 00       str ER 4",
                             "       20:81 00 00 01    FUNC 0 stack-1",
                             "       24:20             SCLR",
                             "   2   25:54             EXIT",
                         }));
  Strings vars;
  f.script.ListVariables(vars);
  EXPECT_EQ(vars, Strings{"x=0"});
}

TEST(Script, ProgramShapes) {
  struct Case {
    std::vector<const char*> lines;
    Strings ops;
  } cases[] = {
      // Folding leaves one number; constants fold like literals.
      {{"x = 1 + 2 * 3"}, {"Num 7", "Set 0"}},
      {{"x = $200+3", "y = 水+$200"}, {"Num 515", "Set 1", "Num 543", "Set 0"}},
      {{"x = 7/(-2) + (-32768)/(-1) - 3"}, {"Num 32762", "Set 0"}},
      // A leading minus negates a literal in place, else emits NEG.
      {{"x = -3*x", "y = -x*3"},
       {"Num -3", "Get 1", "*", "Set 1", "Get 1", "Num 3", "*", "NEG", "Set 0"}},
      {{"a=1:b=2", "x = a OR b AND a"}, {"Num 1", "Set 2", "Num 2", "Set 1", "Get 2", "Get 1", "|", "Get 2", "&", "Set 0"}},
      {{"x = !1 == 2 > (-1)"}, {"Num 1", "!", "Num 2", "==", "Num -1", ">", "Set 0"}},
      // External values: assigned as SetExt, read as GetExt.
      {{"DTIME1 = anPRES"}, {"GetExt 5", "SetExt 0"}},
      // A call as a statement drops its value; a label of the same name as a
      // built-in is never called.
      {{"d:", "d(1)", "SWfunc(0,\"回転\")", "SWfunc:", "RET @1+@(0)"},
       {"d:", "Num 1", "FUNC 0 stack-1", "SCLR", "Num 0", "str 回転 4", "CALL 28 stack-2", "SCLR",
        "SWfunc:", "Get@ 1", "Num 0", "@", "+", "RET "}},
      // An argument list may continue on the next line after "(" or ",".
      {{"box(", "1,2,", "3,4,5)"}, {"Num 1", "Num 2", "Num 3", "Num 4", "Num 5", "FUNC 3 stack-5", "SCLR"}},
      {{"d()"}, {"FUNC 0 stack-0", "SCLR"}},
      {{"DO 8", "@0 = @0 - 1", "WHILE @0 > (-1)"},
       {"Num 8", "do", "Get@ 0", "Num 1", "-", "Set@ 0", "Get@ 0", "Num -1", ">", "While"}},
      {{"L:GOSUB L: GOTO L", "EXIT:"}, {"L:", "GOSUB 4", "GOTO 4", "EXIT"}},
  };
  for (const Case& c : cases) {
    Fixture f;
    std::string text;
    for (const char* l : c.lines) text += Sjis(l) + "\r\n";
    f.script.Compile(text);
    EXPECT_TRUE(f.errors.empty()) << c.lines[0] << ": " << (f.errors.empty() ? "" : Cp932ToUtf8(f.errors[0]));
    EXPECT_EQ(f.Ops(), c.ops) << c.lines[0];
  }
}

}  // namespace
}  // namespace qmt
