#include "host/data_module.h"

#include "host/config_files.h"
#include "host/embedded_tables.h"
#include "host/macro_compile.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "support/name_case.h"
#include "support/spliter.h"

namespace qmt {

namespace {

// Looks `name` up as the name of a name=value line; a line whose value is
// empty counts as not found.  Evaluates the value into `dt`.
bool LookUpValue(const std::vector<std::string>& lines, std::string_view name, std::int16_t& dt) {
  for (const std::string& line : lines) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos || !SameName(std::string_view(line).substr(0, eq), name)) continue;
    // Only the first line with that name counts.
    if (eq + 1 == line.size()) return false;
    TStringSpliter spliter(line.substr(eq + 1));
    dt = static_cast<std::int16_t>(static_cast<std::uint16_t>(spliter.Evaluate()));
    return true;
  }
  return false;
}

}  // namespace

HeadlessToolWindow::HeadlessToolWindow() : colors_(EmbeddedTableLines(EmbeddedTable::Colors)) {}

TDM::TDM(ToolWindowPort& tool) : tool_(tool) {
  FuncLabel.Items().Assign(EmbeddedTableLines(EmbeddedTable::FuncLabel));
  ExtValue.Items().Assign(EmbeddedTableLines(EmbeddedTable::ExtValue));
  Constant.Items().Assign(EmbeddedTableLines(EmbeddedTable::Constant));
  Macro.Items().Assign(EmbeddedTableLines(EmbeddedTable::Macro));
  Script1.OnConstLab = [this](std::string_view name, std::int16_t& dt) { return Script1ConstLab(name, dt); };
  Script1.OnExtLabel = [this](std::string_view name) { return Script1ExtLabel(name); };
  Script1.OnExtFunc = [this](std::string_view name) { return Script1ExtFunc(name); };
  Script1.OnErrorMsg = [this](int lno, const std::string& msg) { Script1ErrorMsg(lno, msg); };
}

void TDM::DataModuleCreate() { labelTable_.clear(); }

std::vector<std::string> ReadMacroFile(const std::string& macroFile, bool utf8) {
  // The file the window saves to and the debugger shows: a FIFO or a
  // device is refused rather than waited on or read without end.
  std::string bytes = ReadRegularFile(macroFile, kMacroFileLimit);
  if (utf8) bytes = Utf8ToCp932(WithoutUtf8Bom(bytes));
  return SplitLines(bytes);
}

void TDM::LoadMacroFile(const std::string& macroFile, bool utf8) { Macro.Items().Assign(ReadMacroFile(macroFile, utf8)); }

bool TDM::Script1ConstLab(std::string_view name, std::int16_t& dt) {
  if (LookUpValue(Constant.Items().Strings(), name, dt)) return true;
  return LookUpValue(tool_.ColorList(), name, dt);
}

int TDM::Script1ExtLabel(std::string_view name) const { return ExtValue.Items().IndexOf(name); }

int TDM::Script1ExtFunc(std::string_view name) const { return FuncLabel.Items().IndexOf(name); }

void TDM::Script1ErrorMsg(int /*lno*/, const std::string& msg) { tool_.AppendErrLog(msg); }

void TDM::CompileMacro() {
  macroReady_ = false;
  tool_.ClearErrLog();
  try {
    Script1.Compile(JoinLinesCrLf(Macro.Items().Strings()));
  } catch (const SilentAbort& e) {
    // A constant whose value text does not evaluate.
    tool_.AppendErrLog(e.message());
  } catch (const std::exception& e) {
    tool_.AppendErrLog(e.what());
  }
  std::vector<std::string> labels, variables;
  Script1.ListLabels(labels);
  Script1.ListVariables(variables);
  tool_.SetMLabel(labels);
  tool_.SetMVariable(variables);
  labelTable_ = labels;
  bool failed = !tool_.ErrLog().empty();
  tool_.SetErrPageVisible(failed);
  if (failed) {
    tool_.ShowErrPage();
  } else {
    macroReady_ = true;
  }
}

bool TDM::HasLabel(std::string_view label) const {
  for (const std::string& entry : labelTable_) {
    std::size_t eq = entry.rfind('=');
    if (eq != std::string::npos && SameName(std::string_view(entry).substr(0, eq), label)) return true;
  }
  return false;
}

void DataModuleMacroSource::CompileMacro() {
  dm_.ToolWindow().SetEditorLines(dm_.Macro.Items().Strings());
  dm_.CompileMacro();
}

}  // namespace qmt
