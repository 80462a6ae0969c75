// Every fatal and reported message of the compiler, with its line number
// and, for fatal errors, the context lines.
#include <gtest/gtest.h>

#include "compiler/script.h"
#include "support/encoding.h"

namespace qmt {
namespace {

struct Compiler {
  TScript script;
  std::vector<std::string> errors;  // UTF-8

  Compiler() {
    script.OnExtFunc = [](std::string_view n) { return n == "d" ? 0 : -1; };
    script.OnExtLabel = [](std::string_view n) { return n == "big" ? 300 : -1; };
    script.OnErrorMsg = [this](int, const std::string& m) { errors.push_back(Cp932ToUtf8(m)); };
  }
  // The abort message of compiling `utf8`, or "(no abort)".
  std::string Abort(const std::string& utf8) {
    try {
      script.Compile(Sjis(utf8));
    } catch (const ScriptAbort& e) {
      return Cp932ToUtf8(e.what());
    }
    return "(no abort)";
  }
};

TEST(Messages, Fatal) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"x=1\r\ny.z\r\nw\r\nq\r\n", "  1,.は未定義文字\r\n.z\r\nw"},
      {"ｱ\r\n", "  0,ｱは未定義文字\r\nｱ\r\n"},
      {"x=(1\r\ny=2\r\n", "  1,)じゃなくてLFを見つけた\r\n\ny=2\r\n"},
      {"d(1;2)\r\n", "  0,関数dが)で閉じていない\r\n2)\r\n"},
      {"d(1,2", "  0,関数dが)で閉じていない\r\n"},
      {"d(1 2)\r\n", "  0,関数dの引数に2がある\r\n)\r\n"},
      {"d(1\r\n)\r\n", "  1,関数dの引数にLFがある\r\n\n)\r\n"},
      {"@(i) = 3\r\n", "  0,@が単独である\r\ni) = 3\r\n"},
      {"@2 3\r\n", "  0,@2が単独である\r\n\r\n"},
      {"GOTO 5\r\n", "  0,GOSUB/GOTO の後に\"5\"でラベルでない\r\n\r\n"},
      {"GOSUB d(\r\n", "  0,GOSUB/GOTO の後に\"d(\"でラベルでない\r\n\r\n"},
      {"x 1\r\n", "  0,ラベル(x)が単独である\r\n\r\n"},
      {"=3\r\n", "  0,ここに\"=\"を書いてはいけない\r\n3\r\n"},
      {"x = 1 + -1\r\n", "  0,ここに\"-\"を書いてはいけない\r\n1\r\n"},
      // A missing operand is refused, never compiled into an operator
      // without its value.
      {"RET\r\nEXIT\r\n", "  1,ここに\"LF\"を書いてはいけない\r\n\nEXIT\r\n"},
      {"d(1,)\r\n", "  0,ここに\")\"を書いてはいけない\r\n\r\n"},
      {"IF THEN x=1\r\n", "  0,ここに\"THEN\"を書いてはいけない\r\n x=1\r\n"},
      // Where the construct around a missing operand names its message,
      // that one: an unclosed call or parenthesis, a stray argument, "@n"
      // left over as a statement without "=".
      {"d(", "  0,関数dが)で閉じていない\r\n"},
      {"d(1,\r\n", "  1,関数dが)で閉じていない\r\n"},
      {"x = d(1 +;\r\n", "  0,関数dが)で閉じていない\r\n\r\n"},
      {"d(f(2,", "  0,関数fが)で閉じていない\r\n"},
      {"d(1+THEN)\r\n", "  0,関数dの引数にTHENがある\r\n)\r\n"},
      {"x=(1+", "  0,)じゃなくてEOFを見つけた\r\n"},
      {"IF @0 == @1 THEN EXIT\r\n", "  0,@1が単独である\r\n EXIT\r\n"},
      {"RET @0 * @1\r\n", "  1,@1が単独である\r\n\n"},
      {"x = 6 / @ y\r\n", "  0,@が単独である\r\n\r\n"},
      // Text without a final line break.
      {"x=1", "  0,ここに\"EOF\"を書いてはいけない\r\n"},
      // The context stops before the second CR among its first 200 bytes;
      // with fewer there it is the whole rest.
      {"#" + std::string(250, 'a') + "\r\nb\r\nc", "  0,#は未定義文字\r\n#" + std::string(250, 'a') + "\r\nb\r\nc"},
      // Folding never divides by zero.
      {"x = 1\r\ny = 4/(2-2)\r\n", "  1,定数の割り算で0で割っている"},
  };
  for (const Case& c : cases) {
    Compiler f;
    EXPECT_EQ(f.Abort(c.text), c.message) << c.text;
  }
  Compiler f;
  EXPECT_EQ(f.Abort("x=" + std::string(300, '(') + "1\r\n").find("  0,括弧と関数呼び出しの入れ子が深すぎる"), 0u);
  EXPECT_EQ(f.Abort("x=" + std::string(300, 'd') + "\r\n"), "(no abort)");
}

TEST(Messages, FatalErrorKeepsThePreviousImage) {
  Compiler f;
  f.script.Compile("x=1\r\n");
  TAByte before = f.script.Code();
  EXPECT_NE(f.Abort("x=\r\n#\r\n"), "(no abort)");
  EXPECT_EQ(f.script.Code(), before);
}

TEST(Messages, Reported) {
  struct Case {
    std::string text;
    std::vector<std::string> errors;
  } cases[] = {
      {"x = abc\r\n", {"  0:変数 abc が未定義"}},
      // Variables are resolved from the last token to the first.
      {"x=a\r\ny=b\r\n", {"  1:変数 b が未定義", "  0:変数 a が未定義"}},
      {"\r\n\r\n\r\nL:\r\n\r\n\r\n\r\n\r\n\r\n\r\nL:\r\n", {"  3:10で既に定義済"}},
      {"GOTO nowhere\r\nGOSUB nowhere\r\nf(1)\r\n",
       {"  0:ラベル nowhere が未定義", "  1:ラベル nowhere が未定義", "  2:ラベル f が未定義"}},
      // The limits of the operand widths.
      {"big = 1\r\nx = big\r\n", {"  0:外部変数 big の番号が255を超えた"}},
      {"x = @300\r\n", {"  0:@300の番号が255を超えた"}},
      {"d(" + [] { std::string a; for (int i = 0; i < 256; ++i) a += "1,"; return a; }() + "1)\r\n",
       {"  0:関数dの引数が255個を超えた"}},
      {[] { std::string t; for (int i = 0; i <= 256; ++i) t += "v" + std::to_string(i) + "=0\r\n"; return t; }(),
       {"  0:変数 v0 で変数の数が256を超えた"}},
  };
  for (const Case& c : cases) {
    Compiler f;
    EXPECT_EQ(f.Abort(c.text), "(no abort)") << c.text;
    EXPECT_EQ(f.errors, c.errors) << c.text;
  }
}

// x="..." takes 11 bytes besides the string: header 4, terminator 1, str 3,
// Set 2, end 1.  65536 bytes fit, one more is reported.
TEST(Messages, ImageSizeLimit) {
  for (std::size_t length : {65525u, 65526u}) {
    Compiler f;
    f.script.Compile("x=\"" + std::string(length, 'A') + "\"\r\n");
    EXPECT_EQ(f.script.Code().size(), length + 11);
    if (length == 65525u) {
      EXPECT_TRUE(f.errors.empty());
    } else {
      EXPECT_EQ(f.errors, std::vector<std::string>{"  0:P-codeが65536バイトを超えた"});
    }
  }
}

TEST(Messages, UnheardReportAborts) {
  TScript script;
  try {
    script.Compile("x = abc\r\n");
    FAIL() << "no abort";
  } catch (const ScriptAbort& e) {
    EXPECT_EQ(Cp932ToUtf8(e.what()), "  0:変数 abc が未定義");
  }
  EXPECT_TRUE(script.Code().empty());
}

// Each message as data points at the token it is about: its column and
// length in bytes of the line, and a code that does not depend on the text.
TEST(Messages, PlaceAndCode) {
  struct Case {
    std::string text;
    MessageCode code;
    int column, length;
    std::vector<std::string> args;  // UTF-8
  } cases[] = {
      {"x=1\r\n  y.z\r\n", MessageCode::kUndefinedChar, 3, 1, {"."}},
      {"x=(1\r\n", MessageCode::kParenNotClosed, 4, 1, {"LF"}},
      {"x = d(1 2)\r\n", MessageCode::kStrayArgument, 8, 1, {"d", "2"}},
      {"GOTO  \"a\"\r\n", MessageCode::kJumpNotLabel, 6, 3, {"c"}},
      {"漢字 1\r\n", MessageCode::kNameAlone, 0, 4, {"漢字"}},
      {"x = 1 + -1\r\n", MessageCode::kNotHere, 8, 1, {"-"}},
      {"x = 2 / 0\r\n", MessageCode::kDivideByZero, 6, 1, {}},
      {"x = 1\r\n 漢 = y\r\n", MessageCode::kUndefinedVariable, 6, 1, {"y"}},
      {"GOSUB nowhere\r\n", MessageCode::kUndefinedLabel, 6, 7, {"nowhere"}},
      // Labels are checked from the end: the first definition is the one reported.
      {"a:\r\n  a:\r\n", MessageCode::kDuplicateLabel, 0, 1, {"a", "1"}},
      {"x = @300\r\n", MessageCode::kArgumentNumber, 4, 1, {"@300"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TScript script;
    script.OnExtFunc = [](std::string_view n) { return n == "d" ? 0 : -1; };
    std::vector<ScriptMessage> reported;
    script.OnMessage = [&](const ScriptMessage& m) { reported.push_back(m); };
    std::string printed;
    script.OnErrorMsg = [&](int, const std::string& m) { printed = m; };
    ScriptMessage m;
    try {
      script.Compile(Sjis(c.text));
      ASSERT_FALSE(reported.empty());
      m = reported.front();
      EXPECT_EQ(m.text, printed);
      EXPECT_FALSE(m.fatal);
    } catch (const ScriptAbort& e) {
      m = e.Message();
      EXPECT_EQ(m.text, e.what());
      EXPECT_TRUE(m.fatal);
    }
    EXPECT_EQ(m.code, c.code) << MessageCodeName(m.code);
    EXPECT_EQ(m.column, c.column);
    EXPECT_EQ(m.length, c.length);
    std::vector<std::string> args;
    for (const std::string& a : m.args) args.push_back(Cp932ToUtf8(a));
    EXPECT_EQ(args, c.args);
  }
}

}  // namespace
}  // namespace qmt
