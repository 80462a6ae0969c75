// Random programs: whatever the bytes, the machine stays inside its arrays
// and stops by its end, an error or the step limit.  Most useful in the
// sanitizer build.
#include <gtest/gtest.h>

#include <random>

#include "compiler/opcodes.h"
#include "runtime_fixture.h"

namespace qmt {
namespace {

class RandomImageTest : public testing::ContextFixture {};

TEST_F(RandomImageTest, AnyImageRunsSafely) {
  static constexpr std::uint8_t kOps[] = {
#define QMT_OP_BYTE(name, code, mnemonic, kind) code,
      QMT_OPCODES(QMT_OP_BYTE)
#undef QMT_OP_BYTE
  };
  std::mt19937 random(20261210);
  int lineCount = 0;
  context.owner = &lineCount;
  context.sink = [](void* owner, int, const char*) { ++*static_cast<int*>(owner); };
  for (int program = 0; program < 400; ++program) {
    code->fill(0);
    (*code)[0] = 4;
    std::size_t at = 4;
    while (at < 4 + 200) {
      const bool raw = random() % 8 == 0;
      const std::uint8_t op = raw ? static_cast<std::uint8_t>(random()) : kOps[random() % std::size(kOps)];
      (*code)[at++] = op;
      for (int k = 1; k < InstructionLength(op); ++k) {
        // Small operands keep jumps inside the program, built-in numbers
        // near the table and the drawing built-ins cheap.
        (*code)[at++] = static_cast<std::uint8_t>(k == 1 ? random() % 210 : random() % 2);
      }
    }
    // Now and then a string for the string-reading built-ins.
    if (program % 3 == 0) std::memcpy(code->data() + 100, "PA#,#,0$", 8);
    InitMachine(context.machine, *code);
    context.errorCode = 0;
    for (int step = 0; step < 2000 && context.errorCode == 0; ++step) {
      if (Step(context)) break;
    }
    ASSERT_LE(context.machine.SP, kOperandStackSize);
    ASSERT_LE(context.machine.RSP, kReturnStackSize);
  }
}

}  // namespace
}  // namespace qmt
