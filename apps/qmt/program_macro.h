// The macro a scenario runs against: a macro file given on the command
// line, or the program's own macro as `qmt run` and the simulator start it.
#pragma once

#include <string>

#include "host/scenario_machine.h"

namespace qmt::cli {

// Compiles MACRO (code page 932, or UTF-8 with `utf8`) when it is not
// empty, else the program's macro: `macroFile` (--macro) or the macro file
// beside the program when it exists, else the built-in one.  Prints the
// error log and returns false on errors.
bool CompileScenarioMacro(const std::string& macro, bool utf8, const std::string& macroFile, CompiledMacro& out);

}  // namespace qmt::cli
