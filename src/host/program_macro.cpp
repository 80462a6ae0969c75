#include "host/program_macro.h"

#include <filesystem>
#include <system_error>

#include "host/data_module.h"
#include "support/encoding.h"

namespace qmt {

namespace fs = std::filesystem;

namespace {

using Problem = ProgramFileProblem;

// Whether something is at `path`: a link to nothing is, and so is a path
// whose status cannot be looked at (a folder without permission), so that
// it is named rather than passed over.
bool IsThere(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// Runs `read`; a file or encoding error becomes a problem of the source.
template <class Read>
bool TryRead(Read read, Problem problem, bool there, ProgramMacroSource& source) {
  try {
    read();
    return true;
  } catch (const FileError& e) {
    problem.kind = there ? Problem::Kind::kUnreadable : Problem::Kind::kMissing;
    problem.op = e.Operation();
    problem.code = e.Code();
    problem.reason = e.what();
  } catch (const EncodingError& e) {
    problem.kind = Problem::Kind::kEncoding;
    problem.reason = e.what();
  }
  source.problems.push_back(std::move(problem));
  return false;
}

Problem ProblemOf(Problem::File file, const std::string& path, bool named, bool fatal) {
  Problem p;
  p.file = file;
  p.path = path;
  p.named = named;
  p.fatal = fatal;
  return p;
}

}  // namespace

const ProgramFileProblem* ProgramMacroSource::Fatal() const {
  for (const Problem& p : problems)
    if (p.fatal) return &p;
  return nullptr;
}

std::vector<std::string> ProgramMacroSource::Notes() const {
  std::vector<std::string> notes;
  for (const Problem& p : problems)
    if (!p.fatal) notes.push_back(ProblemSentence(p));
  notes.insert(notes.end(), whereNotes.begin(), whereNotes.end());
  return notes;
}

std::string ProgramMacroSource::MacroName() const {
  return macroFile.empty() ? "the built-in macro" : "the macro file " + macroFile;
}

std::string ProblemSentence(const ProgramFileProblem& problem) {
  if (problem.fatal) return problem.reason;
  if (problem.kind == Problem::Kind::kMissing)
    return problem.path + " does not exist yet; the built-in macro is used until it is saved";
  return problem.reason + (problem.file == Problem::File::kMacro ? "; the built-in macro is used instead"
                                                                 : "; the built-in colour list is used instead");
}

std::string SimulatorPathBeside(const std::string& toolPath) {
  return (fs::path(toolPath).parent_path() / "qmtsim").string();
}

ProgramMacroSource ReadProgramMacro(const ConfigFiles& files, const std::string& named, bool utf8, MacroUse use) {
  ProgramMacroSource source;
  const std::string macroPath = named.empty() ? files.MacroFileToRead() : named;
  const bool macroThere = IsThere(macroPath);
  const bool fatal = !named.empty() && use == MacroUse::kRun;
  if (macroThere || fatal) {
    // A run reads a named file whether or not it is there, so that the
    // reader's own words say what is wrong.
    if (TryRead([&] { source.macro = ReadMacroFile(macroPath, !named.empty() && utf8); },
                ProblemOf(Problem::File::kMacro, macroPath, !named.empty(), fatal), macroThere, source))
      source.macroFile = macroPath;
  } else if (!named.empty()) {
    Problem p = ProblemOf(Problem::File::kMacro, macroPath, true, false);
    p.kind = Problem::Kind::kMissing;
    source.problems.push_back(std::move(p));
  }
  const std::string colorPath = files.ColorFileToRead();
  if (!colorPath.empty() && IsThere(colorPath) &&
      TryRead([&] { source.colors = ReadListFile(colorPath); },
              ProblemOf(Problem::File::kColour, colorPath, false, false), true, source))
    source.colorFile = colorPath;
  if (files.firstStart) {
    // An installed program says where its files are once, at its first start.
    source.whereNotes.push_back(files.note);
  } else if (!files.installed && !files.configDir.empty()) {
    // A note only for what comes from the configuration folder: files beside
    // the program and the one named by --macro are where the user put them.
    std::vector<std::string> fromConfigDir;
    if (named.empty() && source.macroFile == files.macroFile && !source.macroFile.empty())
      fromConfigDir.push_back("the macro file " + source.macroFile);
    if (source.colorFile == files.colorFile && !source.colorFile.empty())
      fromConfigDir.push_back("the colour file " + source.colorFile);
    if (!fromConfigDir.empty()) {
      std::string what = fromConfigDir[0] + (fromConfigDir.size() > 1 ? " and " + fromConfigDir[1] : "");
      source.whereNotes.push_back("reading " + what + " (the saved copies: the program's folder " +
                                  fs::path(files.shippedColorFile).parent_path().string() + " is not writable)");
    }
  }
  return source;
}

ProgramMacro CompileProgramMacro(const std::string& toolPath, const std::string& named, bool utf8) {
  HeadlessToolWindow tool;
  TDM dm(tool);
  return CompileProgramMacro(dm, tool, toolPath, named, utf8);
}

ProgramMacro CompileProgramMacro(TDM& dm, HeadlessToolWindow& tool, const std::string& toolPath,
                                 const std::string& named, bool utf8) {
  ProgramMacro result;
  const ConfigFiles files = LocateConfigFiles(SimulatorPathBeside(toolPath), named);
  result.source = ReadProgramMacro(files, named, utf8);
  dm.DataModuleCreate();
  if (result.source.Fatal()) return result;
  if (result.source.macro) dm.Macro.Items().Assign(*result.source.macro);
  if (result.source.colors) tool.SetColorList(*result.source.colors);
  dm.CompileMacro();
  result.errors = tool.ErrLog();
  if (!dm.MacroReady() && result.errors.empty()) result.errors.push_back("the macro did not compile");
  if (result.errors.empty()) {
    result.compiled.image = dm.Script1.Code();
    dm.Script1.ListLabels(result.compiled.labels);
  }
  return result;
}

}  // namespace qmt
