// The program's macro: the one place that finds, reads and compiles the
// macro and colour files that a run starts from, for the headless tool's
// commands, the debug adapter and the window.
//
// A file named on the command line (--macro) that cannot be read is an
// error.  Files found by the program (the ones the simulator saves: beside
// it, or in the configuration folder) are read when they exist; one that
// exists but cannot be read is named in a note and the built-in one is used.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/config_files.h"
#include "host/scenario_machine.h"

namespace qmt {

class HeadlessToolWindow;
class TDM;

// What was read, for the output that names which macro ran.
struct ProgramMacroSource {
  std::string macroFile;  // the macro file read; empty: the built-in macro
  std::string colorFile;  // the colour file read; empty: the built-in list
  // Sentences (UTF-8) for the user: a found file that could not be read,
  // and where the files come from when that is not beside the program.
  std::vector<std::string> notes;
  // The colour list read, when a colour file was read.
  std::optional<std::vector<std::string>> colors;

  // "the macro file PATH" or "the built-in macro" (UTF-8).
  std::string MacroName() const;
};

// The simulator beside the tool at `toolPath`: its files are the ones the
// headless tool reads, so that what the window saved is what runs.
std::string SimulatorPathBeside(const std::string& toolPath);

// Reads the macro into `dm` (which keeps its built-in macro otherwise) and
// the colour list into the result.  `named` is the file named on the command
// line, empty for the files of `files`; `utf8` converts the named file.
// Raises FileError or EncodingError naming a named file that cannot be read.
ProgramMacroSource ReadProgramMacro(TDM& dm, const ConfigFiles& files, const std::string& named, bool utf8);

struct ProgramMacro {
  ProgramMacroSource source;
  CompiledMacro compiled;           // when `errors` is empty
  std::vector<std::string> errors;  // the compile's error log (code page 932)
};

// The headless face: locates the simulator's files beside `toolPath`, reads
// them as ReadProgramMacro does and compiles the macro with the colour list.
ProgramMacro CompileProgramMacro(const std::string& toolPath, const std::string& named, bool utf8);
// The same into `dm`, whose tool window is `tool`: for a caller that keeps
// the compile (its line table and names) after it.
ProgramMacro CompileProgramMacro(TDM& dm, HeadlessToolWindow& tool, const std::string& toolPath,
                                 const std::string& named, bool utf8);

}  // namespace qmt
