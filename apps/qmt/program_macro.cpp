#include "program_macro.h"

#include <filesystem>

#include "command.h"
#include "compiler/script.h"
#include "host/config_files.h"
#include "host/data_module.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt::cli {

bool CompileScenarioMacro(const std::string& macro, bool utf8, const std::string& macroFile, CompiledMacro& out) {
  if (!macro.empty()) {
    TScript script;
    NameTables tables;
    const std::vector<std::string> errors = CompileMacroLines(script, tables, SplitLines(ReadInput(macro, utf8)));
    for (const std::string& e : errors)
      for (const std::string& line : SplitLines(e)) PrintError(line);
    if (!errors.empty()) return false;
    out.image = script.Code();
    out.labels.clear();
    script.ListLabels(out.labels);
    return true;
  }
  HeadlessToolWindow tool;
  TDM dm(tool);
  ConfigFiles files = LocateConfigFiles(ExecutablePath("qmt"), macroFile);
  if (!macroFile.empty() && !std::filesystem::exists(macroFile))
    throw FileError("cannot open " + macroFile + ": No such file or directory");
  std::error_code ec;
  if (std::filesystem::is_regular_file(files.colorFile, ec)) tool.SetColorList(ReadListFile(files.colorFile));
  std::string problem = dm.DataModuleCreate(files.macroFile);
  if (!problem.empty()) PrintError(Utf8ToCp932(problem));
  dm.CompileMacro();
  for (const std::string& e : tool.ErrLog())
    for (const std::string& line : SplitLines(e)) PrintError(line);
  if (!dm.MacroReady()) return false;
  out.image = dm.Script1.Code();
  out.labels.clear();
  dm.Script1.ListLabels(out.labels);
  return true;
}

}  // namespace qmt::cli
