// Random programs: whatever the bytes, the machine stays inside its arrays
// and stops by its end, an error or the step limit, and the threaded loop
// ends in exactly the state that single steps reach.  Most useful in the
// sanitizer build.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <tuple>

#include "compiler/opcodes.h"
#include "runtime/fused.h"
#include "runtime_fixture.h"

namespace qmt {
namespace {

class RandomImageTest : public testing::ContextFixture {
 protected:
  // Fills the code area with a random program of 200 bytes or so, after
  // `pushes` small numbers that give the first instructions operands.
  void MakeProgram(std::mt19937& random, int program, int pushes = 0) {
    static constexpr std::uint8_t kOps[] = {
#define QMT_OP_BYTE(name, code, mnemonic, kind) code,
        QMT_OPCODES(QMT_OP_BYTE)
#undef QMT_OP_BYTE
    };
    code->fill(0);
    (*code)[0] = 4;
    std::size_t at = 4;
    for (int i = 0; i < pushes; ++i) {
      (*code)[at++] = static_cast<std::uint8_t>(Op::NUM);
      (*code)[at++] = static_cast<std::uint8_t>(random() % 5);
      (*code)[at++] = 0;
    }
    const std::size_t end = at + 200;
    while (at < end) {
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
  }
};

TEST_F(RandomImageTest, AnyImageRunsSafely) {
  std::mt19937 random(20261210);
  int lineCount = 0;
  context.owner = &lineCount;
  context.sink = [](void* owner, int, const char*) { ++*static_cast<int*>(owner); };
  for (int program = 0; program < 400; ++program) {
    MakeProgram(random, program);
    InitMachine(context.machine, *code);
    context.errorCode = 0;
    for (int step = 0; step < 2000 && context.errorCode == 0; ++step) {
      if (Step(context)) break;
    }
    ASSERT_LE(context.machine.SP, kOperandStackSize);
    ASSERT_LE(context.machine.RSP, kReturnStackSize);
  }
}

// StepMany against a loop of Step calls on the same programs, each side with
// fresh built-in state and its own lines: same count, registers, stacks,
// locals, externals, error and output.
TEST_F(RandomImageTest, StepManyMatchesSingleSteps) {
  struct Side {
    std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
    std::array<std::int16_t, kExternalCount> externals{};
    std::vector<std::string> lines;
    TRuntimeContext context;
  };
  auto prepare = [&](Side& side) {
    InitContext(side.context, *code, side.externals.data());
    side.context.state = side.state.get();
    side.context.owner = &side.lines;
    side.context.sink = context.sink;
    for (int i = 0; i < kLocalCount; ++i) side.context.machine.L[i] = static_cast<std::int16_t>(i * 7);
  };
  std::mt19937 random(7);
  for (int program = 0; program < 600; ++program) {
    MakeProgram(random, program, static_cast<int>(random() % 40));
    const long limit = 1 + static_cast<long>(random() % 3000);
    Side single;
    Side many;
    prepare(single);
    prepare(many);
    long ran = 0;
    while (ran < limit) {
      ++ran;
      if (Step(single.context) || single.context.errorCode != 0) break;
    }
    ASSERT_EQ(StepMany(many.context, limit), ran) << "program " << program;
    const TMachine& a = single.context.machine;
    const TMachine& b = many.context.machine;
    ASSERT_EQ(many.context.errorCode, single.context.errorCode) << "program " << program;
    ASSERT_EQ(std::tie(b.stopped, b.opcode, b.SP, b.FP, b.AC, b.RSP, b.PC),
              std::tie(a.stopped, a.opcode, a.SP, a.FP, a.AC, a.RSP, a.PC))
        << "program " << program;
    ASSERT_TRUE(std::equal(std::begin(a.S), std::end(a.S), std::begin(b.S))) << "program " << program;
    ASSERT_TRUE(std::equal(std::begin(a.RS), std::end(a.RS), std::begin(b.RS))) << "program " << program;
    ASSERT_TRUE(std::equal(std::begin(a.L), std::end(a.L), std::begin(b.L))) << "program " << program;
    ASSERT_EQ(many.externals, single.externals) << "program " << program;
    ASSERT_EQ(many.lines, single.lines) << "program " << program;
  }
}

// The fused handlers against single steps, on programs made mostly of the
// sequences they fuse, with operands that make some of them fault (argument
// numbers past the frame, deep stacks, WHILE without DO) and limits that end
// inside a sequence.
TEST_F(RandomImageTest, FusedDispatchMatchesSingleSteps) {
  struct Side {
    std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
    std::array<std::int16_t, kExternalCount> externals{};
    std::vector<std::string> lines;
    TRuntimeContext context;
  };
  auto prepare = [&](Side& side) {
    InitContext(side.context, *code, side.externals.data());
    side.context.state = side.state.get();
    side.context.owner = &side.lines;
    side.context.sink = context.sink;
    for (int i = 0; i < kLocalCount; ++i) side.context.machine.L[i] = static_cast<std::int16_t>(i * 7 - 20);
  };
  auto op = [](Op o) { return static_cast<std::uint8_t>(o); };
  const Op values[] = {Op::AND, Op::OR, Op::XOR, Op::ADD, Op::SUB, Op::MUL, Op::LT,
                       Op::GT,  Op::EQ, Op::GE,  Op::LE,  Op::DIV, Op::NEG};
  const Op tests[] = {Op::LT, Op::GT, Op::EQ, Op::GE, Op::LE};
  auto pick = [&](std::mt19937& random, const auto& list) { return list[random() % std::size(list)]; };
  TDispatchMap map;
  std::mt19937 random(3308);
  int fusedStarts = 0;
  for (int program = 0; program < 1500; ++program) {
    code->fill(0);
    (*code)[0] = 4;
    std::size_t at = 4;
    auto put = [&](std::uint8_t b) { (*code)[at++] = b; };
    auto word = [&](std::uint16_t w) {
      put(static_cast<std::uint8_t>(w));
      put(static_cast<std::uint8_t>(w >> 8));
    };
    const std::size_t end = 4 + 150 + random() % 100;
    while (at < end) {
      const unsigned kind = random() % 10;
      const bool arg = random() % 2;
      const std::uint8_t slot = static_cast<std::uint8_t>(random() % 4);
      const auto target = static_cast<std::uint16_t>(4 + random() % (end - 4));
      if (kind <= 5) {  // Get/Get@ v, Num n, op [, IF / While / Set / Set@]
        put(op(arg ? Op::GETARG : Op::GET));
        put(slot);
        put(op(Op::NUM));
        word(static_cast<std::uint16_t>(random() % 3 == 0 ? random() : random() % 40));
        put(op(kind <= 2 ? pick(random, values) : pick(random, tests)));
        if (kind == 3) {
          put(op(Op::IF));
          word(target);
        } else if (kind == 4) {
          put(op(Op::WHILE));
        } else if (kind == 5) {
          put(op(random() % 2 ? Op::SETARG : Op::SET));
          put(static_cast<std::uint8_t>(random() % 4));
        }
      } else if (kind == 6) {  // op, IF / Set / Set@
        put(op(pick(random, values)));
        const unsigned next = random() % 3;
        put(op(next == 0 ? Op::IF : next == 1 ? Op::SET : Op::SETARG));
        if (next == 0) {
          word(target);
        } else {
          put(static_cast<std::uint8_t>(random() % 4));
        }
      } else if (kind == 7) {  // frames for the arguments
        put(op(Op::NUM));
        word(static_cast<std::uint16_t>(random() % 5));
        put(op(random() % 2 ? Op::DO : Op::CALL));
        if ((*code)[at - 1] == op(Op::CALL)) {
          word(static_cast<std::uint16_t>(at + 3));
          put(static_cast<std::uint8_t>(random() % 3));
        }
      } else if (kind == 8) {  // deep stacks and jumps
        const int pushes = static_cast<int>(random() % 30);
        for (int i = 0; i < pushes && at < end; ++i) {
          put(op(Op::NUM));
          word(static_cast<std::uint16_t>(random() % 9));
        }
        put(op(Op::GOTO));
        word(target);
      } else {  // anything, now and then not even an instruction
        const std::uint8_t b = static_cast<std::uint8_t>(random());
        put(b);
        for (int k = 1; k < InstructionLength(b); ++k) put(static_cast<std::uint8_t>(random() % 4));
      }
    }
    put(0);
    BuildDispatchMap(*code, at, map);
    // Every other program then has a few bytes changed, as breakpoints
    // change them, and its map brought in step.
    if (program % 2 == 1) {
      const TCodeArea loaded = *code;
      const TDispatchMap loadedMap = map;
      for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k)
        (*code)[4 + random() % (at - 4)] = random() % 4 == 0 ? static_cast<std::uint8_t>(random()) : 0;
      PatchDispatchMap(loaded, loadedMap, *code, map);
    }
    for (std::size_t i = 0; i < at; ++i) fusedStarts += map[i] != (*code)[i] && map[i] != fused::kOtherSelector;
    const long limit = 1 + static_cast<long>(random() % 4000);
    Side single;
    Side many;
    prepare(single);
    prepare(many);
    many.context.machine.dispatch = map.data();
    long ran = 0;
    while (ran < limit) {
      ++ran;
      if (Step(single.context) || single.context.errorCode != 0) break;
    }
    ASSERT_EQ(StepMany(many.context, limit), ran) << "program " << program;
    const TMachine& a = single.context.machine;
    const TMachine& b = many.context.machine;
    ASSERT_EQ(many.context.errorCode, single.context.errorCode) << "program " << program;
    ASSERT_EQ(std::tie(b.stopped, b.opcode, b.SP, b.FP, b.AC, b.RSP, b.PC),
              std::tie(a.stopped, a.opcode, a.SP, a.FP, a.AC, a.RSP, a.PC))
        << "program " << program;
    ASSERT_TRUE(std::equal(std::begin(a.S), std::end(a.S), std::begin(b.S))) << "program " << program;
    ASSERT_TRUE(std::equal(std::begin(a.RS), std::end(a.RS), std::begin(b.RS))) << "program " << program;
    ASSERT_TRUE(std::equal(std::begin(a.L), std::end(a.L), std::begin(b.L))) << "program " << program;
    ASSERT_EQ(many.externals, single.externals) << "program " << program;
    ASSERT_EQ(many.lines, single.lines) << "program " << program;
  }
  // The generator must really exercise the fused handlers.
  EXPECT_GT(fusedStarts, 10000);
}

}  // namespace
}  // namespace qmt
