// The P-code instruction set, declared once.  The generator, the listing and
// the interpreter all walk this table.
//
// Encoding: the opcode byte decides the length of an instruction.
//   0x20-0x60, 0x7C  1 byte,  no operand
//   0x61-0x7A        3 bytes, 16-bit little-endian operand
//   0x80-0xBF        4 bytes, 16-bit operand then a count byte
//   0xC0-0xFF        2 bytes, one byte operand
//   0x00             1 byte,  end of code
//   0x01-0x1F, 0x7B, 0x7D-0x7F are not instructions.
#pragma once

#include <cstdint>

namespace qmt {

// How many operand bytes follow the opcode.
enum class OperandKind : std::uint8_t {
  kNone,      // 1-byte instruction
  kWord,      // 16-bit operand (3 bytes in all)
  kWordByte,  // 16-bit operand and a count byte (4 bytes in all)
  kByte,      // one byte operand (2 bytes in all)
  kEnd,       // the zero byte closing the code
};

// X(name, opcode, mnemonic as listings show it, operand kind)
// The mnemonic of STR is followed in listings by the escaped string.
#define QMT_OPCODES(X)                                                                     \
  X(END, 0x00, "", kEnd)              /* end of code: the byte after the last instruction */ \
  X(SCLR, 0x20, "SCLR", kNone)        /* drop the value of a function called as a statement */ \
  X(NOT, 0x21, "!", kNone)            /* logical not: 1 if zero, else 0 */                  \
  X(AND, 0x26, "&", kNone)            /* bitwise and (& and AND) */                         \
  X(MUL, 0x2A, "*", kNone)            /* multiply */                                        \
  X(ADD, 0x2B, "+", kNone)            /* add */                                             \
  X(SUB, 0x2D, "-", kNone)            /* subtract */                                        \
  X(DIV, 0x2F, "/", kNone)            /* divide */                                          \
  X(LT, 0x3C, "<", kNone)             /* less than */                                       \
  X(GT, 0x3E, ">", kNone)             /* greater than */                                    \
  X(ARG, 0x40, "@", kNone)            /* argument by computed index, @(expr) */             \
  X(DO, 0x44, "do", kNone)            /* start of a DO loop */                              \
  X(EQ, 0x45, "==", kNone)            /* equal */                                           \
  X(GE, 0x47, ">=", kNone)            /* greater or equal */                                \
  X(LE, 0x4C, "<=", kNone)            /* less or equal */                                   \
  X(NEG, 0x4E, "NEG", kNone)          /* negate */                                          \
  X(RET, 0x52, "RET ", kNone)         /* return from a function with a value */             \
  X(EXIT, 0x54, "EXIT", kNone)        /* return from a subroutine, or end the run */        \
  X(WHILE, 0x57, "While", kNone)      /* end of a DO loop */                                \
  X(XOR, 0x58, "XOR", kNone)          /* bitwise exclusive or */                            \
  X(OR, 0x7C, "|", kNone)             /* bitwise or (| and OR) */                           \
  X(STR, 0x63, "str ", kWord)         /* push a string address */                           \
  X(GOTO, 0x67, "GOTO", kWord)        /* jump */                                            \
  X(IF, 0x69, "IF", kWord)            /* pop; jump if zero */                               \
  X(NUM, 0x6E, "Num", kWord)          /* push a number */                                   \
  X(GOSUB, 0x73, "GOSUB", kWord)      /* call a subroutine */                               \
  X(CALL, 0x80, "CALL", kWordByte)    /* call a macro function: address, argument count */  \
  X(FUNC, 0x81, "FUNC", kWordByte)    /* call a built-in: function id, argument count */    \
  X(GETEXT, 0xC0, "GetExt", kByte)    /* push an external value */                          \
  X(SETEXT, 0xC1, "SetExt", kByte)    /* pop into an external value */                      \
  X(GET, 0xC2, "Get", kByte)          /* push a local variable */                           \
  X(SET, 0xC3, "Set", kByte)          /* pop into a local variable */                       \
  X(GETARG, 0xC4, "Get@", kByte)      /* push an argument of the current function */        \
  X(SETARG, 0xC5, "Set@", kByte)      /* pop into an argument of the current function */

enum class Op : std::uint8_t {
#define QMT_OP_ENUM(name, code, mnemonic, kind) name = code,
  QMT_OPCODES(QMT_OP_ENUM)
#undef QMT_OP_ENUM
};

namespace detail {
constexpr int LengthFromRange(int opcode) {
  if (opcode == 0x00) return 1;
  if ((opcode >= 0x20 && opcode <= 0x60) || opcode == 0x7C) return 1;
  if (opcode >= 0x61 && opcode <= 0x7A) return 3;
  if (opcode >= 0x80 && opcode <= 0xBF) return 4;
  if (opcode >= 0xC0) return 2;
  return 0;
}
struct LengthTable {
  std::uint8_t length[256];
  constexpr LengthTable() : length{} {
    for (int b = 0; b < 256; ++b) length[b] = static_cast<std::uint8_t>(LengthFromRange(b));
  }
};
inline constexpr LengthTable kLengths{};
}  // namespace detail

// Length in bytes of the instruction starting with `opcode`, from its range;
// 0 when the byte is not an instruction.  The end-of-code byte 0x00 counts as
// one byte.
constexpr int InstructionLength(std::uint8_t opcode) { return detail::kLengths.length[opcode]; }

// The mnemonic listings show for `opcode`, or nullptr when the table has
// none (an opcode in a valid range without a mnemonic lists as its own
// character).
constexpr const char* Mnemonic(std::uint8_t opcode) {
  switch (opcode) {
#define QMT_OP_MNEMONIC(name, code, mnemonic, kind) \
  case code:                                        \
    return mnemonic;
    QMT_OPCODES(QMT_OP_MNEMONIC)
#undef QMT_OP_MNEMONIC
  }
  return nullptr;
}

}  // namespace qmt
