// Random programs built from the language's pieces: compiling never fails in
// any other way than the abort error, and every image that compiles cleanly
// walks instruction by instruction from CodeStart to its final zero byte.
#include <gtest/gtest.h>

#include <random>

#include "compiler/opcodes.h"
#include "compiler/script.h"

namespace qmt {
namespace {

TEST(Robustness, RandomProgramsKeepTheImageWhole) {
  const char* pieces[] = {"x", "y", "=", "1", "$FF", "(", ")", "\r\n", "\"s\"", "\"%4", "\\",
                          "/*", "*/", "//", "@", "@0", "IF ", "THEN ", "GOTO L", "GOSUB L", "L:",
                          ",", "d(", "f(", "+", "-", "*", "/", "0b1 ", ";", ":", "<", ">", "==",
                          "RET ", "DO ", "WHILE ", "EXIT", " ", "\x82\xA0", "!", "AND ", "0"};
  std::mt19937 rng(3308);
  TScript script;
  script.OnExtFunc = [](std::string_view n) { return n == "d" ? 0 : -1; };
  int clean = 0;
  for (int run = 0; run < 4000; ++run) {
    std::string text;
    for (int n = rng() % 24; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    if (run % 2) text += "\r\n";
    bool reported = false;
    script.OnErrorMsg = [&](int, const std::string&) { reported = true; };
    try {
      script.Compile(text);
    } catch (const ScriptAbort&) {
      continue;
    }
    if (reported) continue;
    ++clean;
    const TAByte& code = script.Code();
    ASSERT_GE(code.size(), 5u) << text;
    std::size_t p = ReadWord(code, 0);
    while (p < code.size() - 1) {
      int length = InstructionLength(code[p]);
      ASSERT_GT(length, 0) << text << " at " << p;
      ASSERT_NE(code[p], 0) << text << " at " << p;
      p += length;
    }
    EXPECT_EQ(p, code.size() - 1) << text;
    EXPECT_EQ(code.back(), 0) << text;
  }
  EXPECT_GT(clean, 100);  // the pieces do make programs
}

}  // namespace
}  // namespace qmt
