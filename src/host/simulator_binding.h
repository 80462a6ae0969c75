// The simulator's ports filled with the real parts: the runtime's runner and
// the link to the device on the port.
#pragma once

#include <functional>
#include <memory>

#include "compiler/script.h"
#include "host/name_tables.h"
#include "host/simulator.h"
#include "link/device_link.h"
#include "runtime/runner.h"

namespace qmt {

class RunnerPort : public SimRunner {
 public:
  explicit RunnerPort(TRunner& runner) : runner_(runner) {}
  void SetHandlers(Handler message, Handler line) override;
  void SetLabelList(const std::vector<std::string>& labels) override { runner_.labels = labels; }
  void LoadImage(const std::vector<std::uint8_t>& image) override { runner_.LoadImage(image); }
  void RunFrom(std::optional<std::string_view> label) override;
  std::int16_t Ext(int id) const override { return runner_.externals[static_cast<size_t>(id)]; }
  void SetExt(int id, std::int16_t value) override { runner_.externals[static_cast<size_t>(id)] = value; }

 private:
  TRunner& runner_;
};

class LinkPort : public SimLink {
 public:
  explicit LinkPort(DeviceLink& link) : link_(link) {}
  bool SendLine(std::string_view line) override { return link_.SendLine(line); }
  bool DeviceBusy() override { return link_.DeviceBusy(); }

 private:
  DeviceLink& link_;
};

// The display page of the process-wide device.
class DevicePort : public SimDisplay {
 public:
  std::uint8_t* DisplayPagePixels() override;
  void DisplayPageChanged() override;
};

// The macro text, its compile with the host's name tables, the error log and
// the label table: what the simulator needs of the data module, for hosts
// that have no data module of their own.
class ScriptMacroSource : public SimMacroSource {
 public:
  explicit ScriptMacroSource(std::vector<std::string> macro);

  bool MacroReady() const override { return ready_; }
  void ClearMacroReady() override { ready_ = false; }
  bool HasErrors() const override { return !errors_.empty(); }
  void ShowErrorPage() override {
    if (onShowErrors) onShowErrors(errors_);
  }
  bool HasLabel(std::string_view label) const override;
  std::vector<std::string> LabelTable() const override { return labels_; }
  std::vector<std::uint8_t> Image() const override;
  void CompileMacro() override;
  void ReplaceMacro(std::vector<std::string> lines) override { macro_ = std::move(lines); }

  const std::vector<std::string>& Macro() const { return macro_; }
  const std::vector<std::string>& ErrorLog() const { return errors_; }
  NameTables& Tables() { return tables_; }
  TScript& Script() { return script_; }

  // Brings the error log forward (the tool window's error page).
  std::function<void(const std::vector<std::string>& errors)> onShowErrors;
  // Called before every compile with the macro text (the tool window's
  // editor takes it).
  std::function<void(const std::vector<std::string>& macro)> onCompile;

 private:
  NameTables tables_;
  TScript script_;
  std::vector<std::string> macro_;
  std::vector<std::string> errors_;
  std::vector<std::string> labels_;
  bool ready_ = false;
};

}  // namespace qmt
