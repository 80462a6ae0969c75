// The tool window joined to the data module, the simulator and the port
// link.  The window is the data module's ToolWindowPort, so its error log is
// the one error log of the program: a test script that fails to compile
// keeps the simulator's events off just as a failed macro compile does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/config_files.h"
#include "host/data_module.h"
#include "host/simulator.h"
#include "ui/scr_tool.h"

namespace qmt {

class TdmToolHost : public ScrToolHost {
 public:
  // `colours`: the colour list read at start, none for the built-in one.
  explicit TdmToolHost(ConfigFiles files, std::optional<std::vector<std::string>> colours = std::nullopt)
      : files_(std::move(files)), colours_(std::move(colours)) {}

  // The data module is created after the window; the simulator and the
  // link may come later still.  Until the data module is there nothing can
  // be compiled.
  void SetDataModule(TDM* dm) { dm_ = dm; }
  void SetSimulator(Simulator* sim) { sim_ = sim; }
  void SetLink(SimLink* link) { link_ = link; }

  TScript& Script1() override;
  std::string MacroFilePath() const override { return files_.macroFile; }
  std::string ColourFilePath() const override { return files_.colorFile; }
  std::optional<std::vector<std::string>> StartColourList() const override { return colours_; }
  void SetMacroLines(const std::vector<std::string>& lines) override;
  void CompileMacro() override;
  void StartMacro() override;
  std::vector<std::string> FuncLabelLines() const override;
  std::vector<std::string> ExtValueLines() const override;
  std::vector<std::string> ConstantLines() const override;
  bool SendLine(std::string_view line) override { return link_ != nullptr && link_->SendLine(line); }

 private:
  ConfigFiles files_;
  std::optional<std::vector<std::string>> colours_;
  TDM* dm_ = nullptr;
  Simulator* sim_ = nullptr;
  SimLink* link_ = nullptr;
  TScript spare_;  // answers Script1() before the data module exists
};

// The main runner's messages go to the tool window's caption.
class ToolWindowMessages : public SimMessages {
 public:
  explicit ToolWindowMessages(TfScrTool& tool) : tool_(tool) {}
  void ShowRunMessage(const std::string& message) override { tool_.ShowRunMessage(message); }

 private:
  TfScrTool& tool_;
};

}  // namespace qmt
