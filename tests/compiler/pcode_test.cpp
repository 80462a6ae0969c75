// Image layout and the text form of instructions.
#include "compiler/pcode.h"

#include <gtest/gtest.h>

#include "compiler/opcodes.h"
#include "compiler/script.h"
#include "support/encoding.h"

namespace qmt {
namespace {

TEST(Pcode, InstructionLines) {
  struct Case {
    TAByte bytes;
    const char* text;
    int length;
  } cases[] = {
      {{0x6E, 0x05, 0x00}, "6E 05 00       Num 5", 3},
      {{0x6E, 0xFF, 0xFF}, "6E FF FF       Num -1", 3},
      {{0xC3, 0x02}, "C3 02          Set 2", 2},
      {{0xC0, 0xFF}, "C0 FF          GetExt 255", 2},
      {{0x81, 0x03, 0x00, 0x05}, "81 03 00 05    FUNC 3 stack-5", 4},
      {{0x80, 0x10, 0x00, 0x02}, "80 10 00 02    CALL 16 stack-2", 4},
      {{0x52}, "52             RET ", 1},
      {{0x7C}, "7C             |", 1},
      {{0x57}, "57             While", 1},
      // In a valid range but without a mnemonic: the opcode's own character.
      {{0x25}, "25             %", 1},
      {{0x70, 0x01, 0x00}, "70 01 00       p 1", 3},
      {{0xBF, 0x01, 0x00, 0x00}, "BF 01 00 00    \xBF 1 stack-0", 4},
      // Not instructions; the end-of-code byte lists as an error too.
      {{0x00}, "Err00", 1},
      {{0x1F}, "Err1F", 1},
      {{0x7B}, "Err7B", 1},
      // Operands past the image read as zero.
      {{0x81, 0x03}, "81 03 00 00    FUNC 3 stack-0", 4},
  };
  for (const Case& c : cases) {
    int p = 0;
    EXPECT_EQ(InstructionText(c.bytes, 65535, p), c.text);
    EXPECT_EQ(p, c.length) << c.text;
  }
  int p = -1;
  TAByte one{0x52};
  EXPECT_EQ(InstructionText(one, 0, p), "");
  p = 1;
  EXPECT_EQ(InstructionText(one, 0, p), "");
  EXPECT_EQ(p, 1);
}

TEST(Pcode, StringOperandsAreEscaped) {
  TAByte image{0x63, 0x04, 0x00, 0x00, 'P', 'S', '0', 0x00};
  int p = 0;
  EXPECT_EQ(InstructionText(image, 7, p), "63 04 00       str PS0 4");

  std::string raw = "a%\"\x01\x7F\x80\xA0\xFD\xFF" + Sjis("漢") + "\xB1";
  TAByte bytes(raw.begin(), raw.end());
  bytes.push_back(0);
  bytes.push_back('z');
  EXPECT_EQ(EscapeString(bytes, 0),
            "a\\x25\\x22\\x01\\x7F\\x80\\xA0\\xFD\\xFF" + Sjis("漢") + "\xB1");
  // A lead byte at the end of the string is not a double-byte character.
  TAByte lone{'a', 0x81, 0x00};
  EXPECT_EQ(EscapeString(lone, 0), "a\x81");
}

TEST(Pcode, InstructionLengthsFollowTheRanges) {
  for (int b = 0; b < 256; ++b) {
    int expected = b == 0 ? 1
                   : (b >= 0x20 && b <= 0x60) || b == 0x7C ? 1
                   : b >= 0x61 && b <= 0x7A               ? 3
                   : b >= 0x80 && b <= 0xBF               ? 4
                   : b >= 0xC0                            ? 2
                                                          : 0;
    EXPECT_EQ(InstructionLength(static_cast<std::uint8_t>(b)), expected) << b;
  }
#define CHECK_KIND(name, code, mnemonic, kind)                                        \
  EXPECT_EQ(InstructionLength(code), OperandKind::kind == OperandKind::kWord ? 3      \
                                     : OperandKind::kind == OperandKind::kWordByte ? 4 \
                                     : OperandKind::kind == OperandKind::kByte ? 2     \
                                                                               : 1)    \
      << mnemonic;
  QMT_OPCODES(CHECK_KIND)
#undef CHECK_KIND
}

TEST(Pcode, ImageLayout) {
  TScript script;
  script.Compile("");
  EXPECT_EQ(script.Code(), (TAByte{0x04, 0x00, 0x00, 0x00, 0x00}));

  // Equal literals are stored twice; a label with nothing after it has the
  // address of the final zero byte.
  script.OnExtFunc = [](std::string_view) { return 0; };
  script.Compile("d(\"ab\",\"ab\")\r\nEnd:\r\n");
  EXPECT_EQ(script.Code(), (TAByte{0x0A, 0x00, 0x00, 0x00, 'a', 'b', 0, 'a', 'b', 0,  //
                                   0x63, 0x04, 0x00, 0x63, 0x07, 0x00, 0x81, 0x00, 0x00, 0x02,
                                   0x20, 0x00}));
  std::vector<std::string> labels;
  script.ListLabels(labels);
  EXPECT_EQ(labels, std::vector<std::string>{"End=21"});
  EXPECT_EQ(script.LabelAddresses(), (std::vector<std::pair<std::string, int>>{{"End", 21}}));
}

// An IF skips the rest of its line: its target is the line end closing it.
TEST(Pcode, ListingLineNumbersAndIfTarget) {
  TScript script;
  script.OnExtLabel = [](std::string_view n) { return n == "a" ? 1 : -1; };
  script.Compile("\r\n\r\n\r\nx=1\r\nL: IF a > 0 THEN b = 1 : c = 2\r\nd = 3\r\n");
  std::vector<std::string> list;
  script.ListCode(list);
  EXPECT_EQ(list, (std::vector<std::string>{
                      "   3    4:6E 01 00       Num 1",
                      "        7:C3 03          Set 3",
                      "L:",
                      "        9:C0 01          GetExt 1",
                      "       11:6E 00 00       Num 0",
                      "       14:3E             >",
                      "       15:69 1C 00       IF 28",
                      "       18:6E 01 00       Num 1",
                      "       21:C3 02          Set 2",
                      "       23:6E 02 00       Num 2",
                      "       26:C3 01          Set 1",
                      "   5   28:6E 03 00       Num 3",
                      "       31:C3 00          Set 0",
                  }));
  std::vector<std::string> vars;
  script.ListVariables(vars);
  EXPECT_EQ(vars, (std::vector<std::string>{"d=0", "c=1", "b=2", "x=3"}));
}

}  // namespace
}  // namespace qmt
