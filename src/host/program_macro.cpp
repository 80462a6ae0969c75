#include "host/program_macro.h"

#include <filesystem>
#include <system_error>

#include "host/data_module.h"
#include "support/file_io.h"

namespace qmt {

namespace fs = std::filesystem;

std::string ProgramMacroSource::MacroName() const {
  return macroFile.empty() ? "the built-in macro" : "the macro file " + macroFile;
}

std::string SimulatorPathBeside(const std::string& toolPath) {
  return (fs::path(toolPath).parent_path() / "qmtsim").string();
}

ProgramMacroSource ReadProgramMacro(TDM& dm, const ConfigFiles& files, const std::string& named, bool utf8) {
  ProgramMacroSource source;
  dm.DataModuleCreate("");
  std::error_code ec;
  if (!named.empty()) {
    // The user named it: missing, a folder or unreadable, it is an error.
    dm.LoadMacroFile(named, utf8);
    source.macroFile = named;
  } else {
    const std::string path = files.MacroFileToRead();
    if (fs::exists(path, ec)) {
      try {
        dm.LoadMacroFile(path);
        source.macroFile = path;
      } catch (const std::exception& e) {
        source.notes.push_back(std::string(e.what()) + "; the built-in macro is used instead");
      }
    }
  }
  const std::string colorPath = files.ColorFileToRead();
  if (fs::exists(colorPath, ec)) {
    try {
      source.colors = ReadListFile(colorPath);
      source.colorFile = colorPath;
    } catch (const std::exception& e) {
      source.notes.push_back(std::string(e.what()) + "; the built-in colour list is used instead");
    }
  }
  if (files.firstStart) {
    // An installed program says where its files are once, at its first start.
    source.notes.push_back(files.note);
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
      source.notes.push_back("reading " + what + " (the saved copies: the program's folder " +
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
  result.source = ReadProgramMacro(dm, files, named, utf8);
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
