#include "host/simulator_binding.h"

#include <algorithm>
#include <cctype>

#include "device/qmt3308.h"
#include "host/macro_compile.h"

namespace qmt {

void RunnerPort::SetHandlers(Handler message, Handler line) {
  runner_.onMessage = std::move(message);
  if (line) {
    runner_.onLine = [line = std::move(line)](std::string_view l) { line(std::string(l)); };
  } else {
    runner_.onLine = nullptr;
  }
}

void RunnerPort::RunFrom(std::optional<std::string_view> label) {
  if (label)
    runner_.RunFrom(*label);
  else
    runner_.RunFrom();
}

std::uint8_t* DevicePort::DisplayPagePixels() { return Device().DisplayPageBytes(); }

void DevicePort::DisplayPageChanged() {
  TQMT3308& device = Device();
  device.NotifyPageChanged(device.DisplayPage());
}

ScriptMacroSource::ScriptMacroSource(std::vector<std::string> macro) : macro_(std::move(macro)) {}

bool ScriptMacroSource::HasLabel(std::string_view label) const {
  for (const std::string& entry : labels_) {
    size_t eq = entry.find('=');
    std::string_view name = std::string_view(entry).substr(0, eq);
    if (name.size() == label.size() &&
        std::equal(name.begin(), name.end(), label.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        }))
      return true;
  }
  return false;
}

std::vector<std::uint8_t> ScriptMacroSource::Image() const {
  const auto& code = script_.Code();
  return std::vector<std::uint8_t>(code.begin(), code.end());
}

void ScriptMacroSource::CompileMacro() {
  ready_ = false;
  if (onCompile) onCompile(macro_);
  errors_ = CompileMacroLines(script_, tables_, macro_);
  labels_.clear();
  script_.ListLabels(labels_);
  if (errors_.empty()) {
    ready_ = true;
  } else if (onShowErrors) {
    onShowErrors(errors_);
  }
}

}  // namespace qmt
