// The program's macro: the one place that finds, reads and compiles the
// macro and colour files that a run starts from, for the headless tool's
// commands, the debug adapter and the window.
//
// The rule for files that cannot be used, on every face:
// - A file that is there (a link to nothing counts as there) but cannot be
//   read, or whose text does not convert, is named with the reason.
// - A file the program finds (the ones the simulator saves: beside it, or
//   in the configuration folder) is read when it is there; one that cannot
//   be read gives way to the built-in macro or colour list.
// - The macro file named on the command line (--macro) is what the user
//   asked for: for a run, missing or unreadable, it is fatal, since running
//   another macro in its place would report on the wrong program.  The
//   window edits that file: one that is not there yet is where its first
//   save goes, and one that cannot be read gives way to the built-in macro
//   as a found file does, so that the user can still open the window.
// What went wrong is returned as data; each face words it in its language.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/config_files.h"
#include "host/scenario_machine.h"
#include "support/file_io.h"

namespace qmt {

class HeadlessToolWindow;
class TDM;

// A macro or colour file that could not be used.
struct ProgramFileProblem {
  enum class File { kMacro, kColour };
  enum class Kind {
    kMissing,     // the named macro file is not there
    kUnreadable,  // there, but it cannot be read: a folder, no permission, a link to nothing
    kEncoding,    // read, but its text does not convert (--utf8)
  };
  File file = File::kMacro;
  Kind kind = Kind::kUnreadable;
  std::string path;
  bool named = false;  // named by --macro rather than found by the program
  bool fatal = false;  // nothing may run in its place
  // The reader's error: for a file error its operation and error number,
  // for a face's own wording; `reason` is the reader's sentence (UTF-8,
  // English, naming the file), as qmt prints it.
  FileError::Op op = FileError::Op::Other;
  int code = 0;
  std::string reason;
};

// How the files are used: run (qmt run, qmt test, qmt dap) or edited (the
// window, which saves to the named file).
enum class MacroUse { kRun, kEdit };

// What was read, for the output that names which macro ran.
struct ProgramMacroSource {
  std::string macroFile;  // the macro file read; empty: the built-in macro
  std::string colorFile;  // the colour file read; empty: the built-in list
  // The macro's lines (code page 932) and the colour list, when read.
  std::optional<std::vector<std::string>> macro;
  std::optional<std::vector<std::string>> colors;
  // What could not be used, macro first.
  std::vector<ProgramFileProblem> problems;
  // Where the files come from when that is not beside the program
  // (sentences, UTF-8).
  std::vector<std::string> whereNotes;

  // The problem that stops a run, or null.
  const ProgramFileProblem* Fatal() const;
  // qmt's notes (UTF-8): the problems that did not stop it, then where the
  // files come from.
  std::vector<std::string> Notes() const;
  // "the macro file PATH" or "the built-in macro" (UTF-8).
  std::string MacroName() const;
};

// qmt's sentence for a problem (UTF-8): the reader's own for one that stops
// the run, else it followed by what is used instead.
std::string ProblemSentence(const ProgramFileProblem& problem);

// The simulator beside the tool at `toolPath`: its files are the ones the
// headless tool reads, so that what the window saved is what runs.
std::string SimulatorPathBeside(const std::string& toolPath);

// Reads the macro and the colour list of `files`.  `named` is the file
// named on the command line, empty for the files of `files`; `utf8`
// converts the named file.  Raises nothing: problems are in the result.
ProgramMacroSource ReadProgramMacro(const ConfigFiles& files, const std::string& named, bool utf8,
                                    MacroUse use = MacroUse::kRun);

struct ProgramMacro {
  ProgramMacroSource source;
  CompiledMacro compiled;           // when `errors` is empty and nothing is fatal
  std::vector<std::string> errors;  // the compile's error log (code page 932)
};

// The headless face: locates the simulator's files beside `toolPath`, reads
// them as ReadProgramMacro does and compiles the macro with the colour list.
// Nothing is compiled when a problem is fatal (source.Fatal()).
ProgramMacro CompileProgramMacro(const std::string& toolPath, const std::string& named, bool utf8);
// The same into `dm`, whose tool window is `tool`: for a caller that keeps
// the compile (its line table and names) after it.
ProgramMacro CompileProgramMacro(TDM& dm, HeadlessToolWindow& tool, const std::string& toolPath,
                                 const std::string& named, bool utf8);

}  // namespace qmt
