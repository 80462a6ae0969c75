// What the debugger knows of a compiled macro, in the macro's own words: the
// line of every instruction, where each statement begins, and the names of
// labels, functions and variables.  Lines are counted from 0, as the
// compiler counts them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/pcode.h"

namespace qmt {

class TScript;

struct TDebugInfo {
  struct Statement {
    std::uint16_t pc;
    int line;
  };
  struct Instruction {
    std::uint16_t pc;
    int line;
    // Characters from the start of the line to the token the instruction
    // was made from; -1 for instructions the compiler adds itself.
    int column = -1;
  };
  struct Label {
    std::string name;
    int line;
    std::uint16_t address;
    bool function;  // the target of a CALL somewhere in the macro
  };
  struct Variable {
    std::string name;
    bool external;
    int slot;  // local slot, or external id
  };

  std::vector<Statement> statements;      // by pc (and so by line)
  std::vector<Instruction> instructions;  // every instruction, by pc
  std::vector<Label> labels;              // by address
  std::vector<Variable> variables;        // the assigned names, locals and externals

  bool Empty() const { return instructions.empty(); }
  // The line of the instruction at or before `pc`; -1 before the first.
  int LineOf(std::uint16_t pc) const;
  // The column of the instruction at or before `pc` that has one, on the
  // same line; -1 when none has.
  int ColumnOf(std::uint16_t pc) const;
  // Whether an instruction starts at `pc`.
  bool IsInstruction(std::uint16_t pc) const;
  // Whether a statement starts at `pc`.
  bool IsStatement(std::uint16_t pc) const;
  // The first statement on `line` or, when the line has no code, on the
  // next line that has; nothing past the last statement.
  std::optional<Statement> Bind(int line) const;
  // The label defined at `address`, if any.
  const Label* LabelAt(std::uint16_t address) const;
  // The label whose code holds `pc`: the last one at or before it.
  const Label* LabelBefore(std::uint16_t pc) const;
  // A local variable by name (exact bytes), or null.
  const Variable* Local(std::string_view name) const;
};

// Compiles an expression of the macro language against a compiled macro's
// names: `image` then holds a program that leaves the value in S[0] and
// stops.  `script` is a spare script carrying the host's events (constants,
// external names); the macro's own script is left alone.  Function calls are
// refused, so evaluating has no effect on the device.  Returns false with
// `error` (code page 932) when the text is not an expression.
bool CompileExpression(TScript& script, std::string_view expression, const TDebugInfo& info, TAByte& image,
                       std::string& error);

}  // namespace qmt
