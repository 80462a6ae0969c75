// The simulator's ports filled with the real parts: the runtime's runner, the
// link to the device on the port and the device's display page.  The data
// module's port is DataModuleMacroSource (data_module.h).
#pragma once

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
  bool Held() const override { return runner_.Paused(); }

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

// For a runner whose image is already loaded (the headless tool): the macro
// counts as compiled without errors, and its labels are the runner's.
class RunnerLabelSource : public SimMacroSource {
 public:
  explicit RunnerLabelSource(TRunner& runner) : runner_(runner) {}
  bool MacroReady() const override { return true; }
  void ClearMacroReady() override {}
  bool HasErrors() const override { return false; }
  void ShowErrorPage() override {}
  bool HasLabel(std::string_view label) const override { return runner_.HasLabel(label); }
  std::vector<std::string> LabelTable() const override { return runner_.labels; }
  std::vector<std::uint8_t> Image() const override { return {}; }
  void CompileMacro() override {}
  void ReplaceMacro(std::vector<std::string>) override {}

 private:
  TRunner& runner_;
};

// The display page of the process-wide device.
class DevicePort : public SimDisplay {
 public:
  std::uint8_t* DisplayPagePixels() override;
  void DisplayPageChanged() override;
};

}  // namespace qmt
