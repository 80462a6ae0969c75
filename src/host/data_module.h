// TDM, the data module: the name tables through which the compiler resolves
// built-in functions, external values and constants, the compiler component
// Script1, the current macro text and the label table through which the
// simulator starts macro runs at named labels.
//
// What the data module needs of the tool window (its error log, label and
// variable lists, colour list and "Err" page) goes through ToolWindowPort:
// the Qt tool window implements it, and HeadlessToolWindow stands in for it
// in the headless tool and in tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/script.h"
#include "host/simulator.h"
#include "support/string_list_tray.h"

namespace qmt {

class ToolWindowPort {
 public:
  virtual ~ToolWindowPort() = default;

  // The error log (the "Err" page's memo): the messages of the last compile,
  // one per line.  Empty after a compile that succeeded.
  virtual const std::vector<std::string>& ErrLog() const = 0;
  virtual void ClearErrLog() = 0;
  virtual void AppendErrLog(const std::string& line) = 0;

  // The label page's lists of labels and variables.
  virtual void SetMLabel(const std::vector<std::string>& lines) = 0;
  virtual void SetMVariable(const std::vector<std::string>& lines) = 0;

  // The colour page's list: name=value lines, constants for the compiler.
  virtual const std::vector<std::string>& ColorList() const = 0;

  // Shows or hides the "Err" page's tab.
  virtual void SetErrPageVisible(bool visible) = 0;
  // Shows the window with the "Err" page in front and focused.
  virtual void ShowErrPage() = 0;

  // The macro editor's lines (the simulator copies the macro there before
  // its first compile).
  virtual void SetEditorLines(const std::vector<std::string>& lines) = 0;
};

// The tool window without a window: plain lists, and a count of the times
// the "Err" page was asked to come forward.
class HeadlessToolWindow : public ToolWindowPort {
 public:
  // Starts with the default colour list.
  HeadlessToolWindow();

  const std::vector<std::string>& ErrLog() const override { return errLog_; }
  void ClearErrLog() override { errLog_.clear(); }
  void AppendErrLog(const std::string& line) override { errLog_.push_back(line); }
  void SetMLabel(const std::vector<std::string>& lines) override { mLabel_ = lines; }
  void SetMVariable(const std::vector<std::string>& lines) override { mVariable_ = lines; }
  const std::vector<std::string>& ColorList() const override { return colors_; }
  void SetErrPageVisible(bool visible) override { errPageVisible_ = visible; }
  void ShowErrPage() override { ++errPageShown_; }
  void SetEditorLines(const std::vector<std::string>& lines) override { editor_ = lines; }

  void SetColorList(std::vector<std::string> lines) { colors_ = std::move(lines); }
  const std::vector<std::string>& MLabel() const { return mLabel_; }
  const std::vector<std::string>& MVariable() const { return mVariable_; }
  const std::vector<std::string>& EditorLines() const { return editor_; }
  bool ErrPageVisible() const { return errPageVisible_; }
  int ErrPageShown() const { return errPageShown_; }

 private:
  std::vector<std::string> errLog_, mLabel_, mVariable_, colors_, editor_;
  bool errPageVisible_ = false;
  int errPageShown_ = 0;
};

// The lines of a macro file (code page 932); with `utf8` the file is UTF-8
// (a byte-order mark allowed) and converted first.  Raises FileError or
// EncodingError naming the file or the character; a file over
// kMacroFileLimit, a FIFO and a device are refused.
std::vector<std::string> ReadMacroFile(const std::string& macroFile, bool utf8 = false);

class TDM {
 public:
  // Fills the tables and the default macro from the program's embedded
  // trays, binds Script1's events and creates the empty label table.
  explicit TDM(ToolWindowPort& tool);
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // Starts with an empty label table.  The macro and colour files are read
  // by ReadProgramMacro (host/program_macro.h).
  void DataModuleCreate();

  // Replaces the macro with the lines of `macroFile`; with `utf8` the file is
  // UTF-8 (a byte-order mark allowed) and converted to code page 932 first.
  // Raises FileError or EncodingError and leaves the macro as it was when
  // the file cannot be read or converted.
  void LoadMacroFile(const std::string& macroFile, bool utf8 = false);

  TStringListTray FuncLabel;
  TStringListTray ExtValue;
  TStringListTray Constant;
  TScript Script1;
  TStringListTray Macro;

  // Script1's events.
  bool Script1ConstLab(std::string_view name, std::int16_t& dt);
  int Script1ExtLabel(std::string_view name) const;
  int Script1ExtFunc(std::string_view name) const;
  void Script1ErrorMsg(int lno, const std::string& msg);

  // Compiles the macro for the windows: error log, label and variable
  // lists, label table, "Err" page, MacroReady.
  void CompileMacro();

  bool MacroReady() const { return macroReady_; }
  void SetMacroReady(bool ready) { macroReady_ = ready; }
  const std::vector<std::string>& LabelTable() const { return labelTable_; }
  // Whether the label table names `label` (letter case ignored).
  bool HasLabel(std::string_view label) const;

  ToolWindowPort& ToolWindow() { return tool_; }

 private:
  ToolWindowPort& tool_;
  std::vector<std::string> labelTable_;
  bool macroReady_ = false;
};

// The data module as the simulator model sees it.
class DataModuleMacroSource : public SimMacroSource {
 public:
  explicit DataModuleMacroSource(TDM& dm) : dm_(dm) {}

  bool MacroReady() const override { return dm_.MacroReady(); }
  void ClearMacroReady() override { dm_.SetMacroReady(false); }
  bool HasErrors() const override { return !dm_.ToolWindow().ErrLog().empty(); }
  void ShowErrorPage() override { dm_.ToolWindow().ShowErrPage(); }
  bool HasLabel(std::string_view label) const override { return dm_.HasLabel(label); }
  std::vector<std::string> LabelTable() const override { return dm_.LabelTable(); }
  std::vector<std::uint8_t> Image() const override { return dm_.Script1.Code(); }
  // Copies the macro into the tool window's editor, then CompileMacro.
  void CompileMacro() override;
  void ReplaceMacro(std::vector<std::string> lines) override { dm_.Macro.Items().Assign(lines); }

 private:
  TDM& dm_;
};

}  // namespace qmt
