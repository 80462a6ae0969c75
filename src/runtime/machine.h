// The P-code machine: a 16-bit stack machine with a separate return stack,
// 256 local slots and argument frames, stepped one instruction at a time.
// It knows nothing of the device: external values and built-ins are reached
// through the three functions in its state, command lines through the
// runtime context's sink (which only the built-ins call).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qmt {

// The code area a machine runs in.  Every address is 16 bits, so any PC and
// any string offset lands inside it.
inline constexpr std::size_t kCodeAreaSize = 65536;
using TCodeArea = std::array<std::uint8_t, kCodeAreaSize>;

inline constexpr int kOperandStackSize = 64;
inline constexpr int kReturnStackSize = 16;
inline constexpr int kLocalCount = 256;
inline constexpr int kExternalCount = 256;
inline constexpr int kBuiltinCount = 13;

// Error codes in the runtime context.  1-5 are the classic ones; the rest
// are the machine's own safety stops.
enum TRunError : std::uint16_t {
  kErrNone = 0,
  kErrArgumentCount = 1,       // wrong number of arguments
  kErrUndefinedFunction = 2,   // FUNC id outside the table
  kErrUndefinedInstruction = 3,
  kErrTextCommand = 4,         // text or num cannot write
  kErrMissingParameter = 5,    // a required argument was not supplied
  kErrStackOverflow = 6,       // more than 64 operand cells
  kErrStackUnderflow = 7,      // a pop from an empty stack or frame
  kErrReturnOverflow = 8,      // more than 16 return entries
  kErrReturnUnderflow = 9,     // WHILE without its DO
  kErrArgumentIndex = 10,      // @n outside the operand stack
  kErrDivisionByZero = 11,
  kErrLineTooLong = 12,        // an assembled command line exceeds the buffer
  kErrTooManyLines = 13,       // a run sent more lines than its line budget
};

struct TRuntimeContext;
class TRuntimeState;

// The machine state.  Field names follow the registers they model.
struct TMachine {
  std::int16_t (*getExternal)(void* user, std::uint8_t id) = nullptr;
  void (*putExternal)(void* user, std::uint8_t id, std::int16_t value) = nullptr;
  std::int16_t (*callFunction)(void* user, std::uint16_t id, std::uint8_t argc,
                               const std::int16_t* args) = nullptr;
  void* user = nullptr;
  const std::uint8_t* code = nullptr;  // a whole TCodeArea
  // StepMany's dispatch map of `code` (fused.h), or null to dispatch on the
  // opcodes alone.  Whoever sets it keeps it in step with the code.
  const std::uint8_t* dispatch = nullptr;
  std::uint8_t stopped = 0;
  std::uint8_t opcode = 0;
  std::uint8_t SP = 0;   // values on the operand stack
  std::uint8_t FP = 0;   // where the current frame's own values begin
  std::uint8_t AC = 0;   // argument count of the current frame
  std::uint8_t RSP = 0;  // entries on the return stack
  std::uint16_t PC = 0;
  std::int16_t S[kOperandStackSize] = {};
  std::uint16_t RS[kReturnStackSize] = {};
  std::int16_t L[kLocalCount] = {};
};

// Outputs one command line.  length 0: `bytes` is zero-terminated; length
// 1 or more: exactly that many bytes, zero bytes included.
using TSinkFunction = void (*)(void* owner, int length, const char* bytes);

// What the interpreter passes to every built-in.
struct TRuntimeContext {
  void* owner = nullptr;
  TSinkFunction sink = nullptr;
  std::uint16_t errorCode = 0;
  std::int16_t* externals = nullptr;
  TMachine machine;
  // The built-ins' lasting state; null means the process's one
  // (RuntimeState()).  A test may give a fresh object of its own.
  TRuntimeState* state = nullptr;
};

// code := area, PC := CodeStart, stopped and the registers := 0, no
// dispatch map.  Stacks and
// locals keep their contents: locals survive from run to run.
void InitMachine(TMachine& machine, const TCodeArea& code);

// Wires the machine to the external table and the built-in table and then
// calls InitMachine.  Owner and sink are the caller's to set.
void InitContext(TRuntimeContext& context, const TCodeArea& code, std::int16_t* externals);

// Executes one instruction; returns 1 when the program has stopped (also
// when it had stopped before), else 0.  A fault sets context.errorCode and
// leaves the machine as it was before the faulting instruction's effect.
// Defined inline in step.h.
inline int Step(TRuntimeContext& context);

// Executes instructions until one stops the program, one leaves an error
// code (a fault or a built-in's failure), or `limit` have run; returns how
// many ran, the last one included.  The effect is that of as many Step
// calls, without a return to the caller between instructions.  The error
// code is expected to be 0 on entry.  A stopped machine or a limit of 0 or
// less runs nothing.
long StepMany(TRuntimeContext& context, long limit);

// The message text (code page 932) of an error code; "" for unknown codes.
const std::string& ErrorName(std::uint16_t code);

// The built-in dispatcher installed by InitContext.
std::int16_t CallBuiltin(void* user, std::uint16_t id, std::uint8_t argc,
                         const std::int16_t* args);

}  // namespace qmt

#include "runtime/step.h"
