#include "compiler/lexer.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/encoding.h"

namespace qmt {
namespace {

// Tokens of `utf8` (each "\n" becomes CR LF) as one line of text: token names
// separated by blanks, strings as c[...] with unprintable bytes as \xHH,
// line ends as LF<line>, and "@line" after any other token whose line is not
// that of the last line end.  A lexer error ends the text with "!message".
std::string LexBytes(const std::string& cp932) {
  std::string text;
  for (char ch : cp932) text += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  Lexer lexer(text);
  std::string out;
  int line = 0;
  for (;;) {
    try {
      lexer.NextToken();
    } catch (const LexError& e) {
      return out + "!" + Cp932ToUtf8(e.text);
    }
    const TScrItem& t = lexer.Current();
    if (!out.empty()) out += ' ';
    if (t.Kind == tok::kLineEnd) {
      line = t.Line;
      out += "LF" + std::to_string(line);
      continue;
    }
    if (t.Kind == tok::kStr) {
      std::string shown;
      for (unsigned char b : t.Text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        shown += (b < 0x20 || b == 0x7F) ? std::string(hex) : std::string(1, static_cast<char>(b));
      }
      out += "c[" + Cp932ToUtf8(shown) + "]";
    } else {
      out += Cp932ToUtf8(TokenName(t));
    }
    if (t.Line != line) out += "@" + std::to_string(t.Line);
    if (t.Kind == tok::kEof) return out;
  }
}

std::string Lex(const std::string& utf8) { return LexBytes(Sjis(utf8)); }

TEST(Lexer, Tokens) {
  struct Case {
    const char* text;
    const char* tokens;
  } cases[] = {
      // Line counting: once per CR, wherever it stands.
      {"GOTO INIT\nx", "GOTO INIT LF1 x EOF"},
      {"a\n/*\n\n\n*/b\nc", "a LF1 b@4 LF5 c EOF"},
      {"a/*x\n*/\n", "a LF2 EOF"},
      {"/* a **/ x=1", "x = 1 EOF"},
      {"x // comment\ny", "x LF1 y EOF"},
      {"/* open comment\n", "EOF@1"},
      // Numbers wrap to 16 bits.
      {"$ $FFFF 70000 0x1f 0X1F", "0 -1 4464 31 31 EOF"},
      // Blanks between binary digits belong to the number.
      {"0b1010 0101,0B11,0b1 0", "165 , 3 , 2 EOF"},
      {"08 010 0", "0 8 0 10 0 EOF"},
      // Strings and their escapes.
      {R"("A\x41B" "%41%4G" "\n")", "c[AAB] c[A%4G] c[\\x0D\\x0A] EOF"},
      {R"("\a\b\f\r\t\v\q\\\"")", "c[\\x07\\x08\\x0C\\x0D\\x09\\x0Bq\\\"] EOF"},
      {R"("\xZZ1" "%00" "%Z" "%1")", "c[1] c[\\x00] c[%Z] c[%1] EOF"},
      {"\"open\nx", "c[open] LF1 x EOF"},
      {"\"漢字\\\"\"", "c[漢字\"] EOF"},
      // Keywords in any case; AND and OR are the operators.
      {"If x==1 then EXIT", "IF x == 1 THEN EXIT EOF"},
      {"gosub goto ret do while", "GOSUB GOTO RET  D W EOF"},
      {"a AND b or c Xor d", "a & b | c XOR d EOF"},
      // Operators: no "!=", two-character comparisons.
      {"a!=b<=c>=d<e>f", "a ! = b <= c >= d < e > f EOF"},
      {"% ^ @ : ; , * /", "% ^ @ : ; , * / EOF"},
      // A call is a name directly or after blanks followed by "(".
      {"box (1,2) box", "box( 1 , 2 ) box EOF"},
      {"色全背景=$200+色1", "色全背景 = 512 + 色1 EOF"},
      {"_a1 b_2", "_a1 b_2 EOF"},
      // Bytes that start no token.
      {"x.y", "x!.は未定義文字"},
      {"ｱ", "!ｱは未定義文字"},
      {"#", "!#は未定義文字"},
  };
  for (const Case& c : cases) EXPECT_EQ(Lex(c.text), c.tokens) << c.text;
}

// A lead byte right before a CR is a character of its own: the CR still
// ends the line and counts once, in a comment as after an identifier.
TEST(Lexer, LoneLeadByteBeforeALineEnd) {
  struct Case {
    std::string cp932;
    const char* tokens;
  } cases[] = {
      {"/*\x82\n*/x\ny", "x@1 LF2 y EOF"},
      {"/*\x82\n\n*/x", "x@2 EOF@2"},
      // The name keeps the lead byte, shown as U+FFFD.
      {"a\x82\nb", "a\uFFFD LF1 b EOF"},
      {"a\xE0\n", "a\uFFFD LF1 EOF"},
      {"\x82", "\uFFFD EOF"},
  };
  for (const Case& c : cases) EXPECT_EQ(LexBytes(c.cp932), c.tokens) << c.tokens;
}

TEST(Lexer, StopsAtZeroByte) {
  std::string text("x\0y", 3);
  Lexer lexer(text);
  lexer.NextToken();
  EXPECT_EQ(lexer.Current().Text, "x");
  lexer.NextToken();
  EXPECT_EQ(lexer.Current().Kind, tok::kEof);
}

}  // namespace
}  // namespace qmt
