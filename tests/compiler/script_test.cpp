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
    script.OnExtFunc = [](const std::string& n) { return n == "d" ? 0 : n == "box" ? 3 : -1; };
    script.OnExtLabel = [](const std::string& n) {
      return n == "DTIME1" ? 0 : n == "anPRES" ? 5 : -1;
    };
    script.OnConstLab = [](const std::string& n, std::int16_t& v) {
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
  // The listing without addresses and hex: "Num 1", "Set 0", ...
  std::vector<std::string> Ops() const {
    std::vector<std::string> out;
    for (const std::string& l : Listing())
      if (l.size() > 26) out.push_back(l.substr(26));
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

}  // namespace
}  // namespace qmt
