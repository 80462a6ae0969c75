// Recording stand-ins for the simulator's ports.
#pragma once

#include <array>
#include <set>
#include <string>
#include <vector>

#include "host/simulator.h"
#include "support/encoding.h"

namespace qmt::testing {

struct FakeRunner : SimRunner {
  Handler message, line;
  std::vector<std::string> labels;
  std::vector<std::string> runs;  // "<start>" for a run without a label
  int loads = 0;
  std::array<std::int16_t, 256> ext{};
  // Cells as they were when each run started.
  std::vector<std::array<std::int16_t, 256>> extAtRun;

  void SetHandlers(Handler m, Handler l) override { message = m, line = l; }
  void SetLabelList(const std::vector<std::string>& l) override { labels = l; }
  void LoadImage(const std::vector<std::uint8_t>&) override { ++loads; }
  void RunFrom(std::optional<std::string_view> label) override {
    runs.push_back(label ? std::string(*label) : "<start>");
    extAtRun.push_back(ext);
  }
  std::int16_t Ext(int id) const override { return ext[id]; }
  void SetExt(int id, std::int16_t v) override { ext[id] = v; }
};

struct FakeMacro : SimMacroSource {
  bool ready = true;
  std::vector<std::string> errors;
  std::set<std::string> labels;
  std::vector<std::string> text;
  int compiles = 0, errorPages = 0;
  // When set, a compile gives these errors.
  std::vector<std::string> compileErrors;

  bool MacroReady() const override { return ready; }
  void ClearMacroReady() override { ready = false; }
  bool HasErrors() const override { return !errors.empty(); }
  void ShowErrorPage() override { ++errorPages; }
  bool HasLabel(std::string_view l) const override { return labels.count(std::string(l)) > 0; }
  std::vector<std::string> LabelTable() const override {
    std::vector<std::string> out;
    for (auto& l : labels) out.push_back(l + "=0");
    return out;
  }
  std::vector<std::uint8_t> Image() const override { return {0}; }
  void CompileMacro() override {
    ++compiles;
    errors = compileErrors;
    ready = errors.empty();
  }
  void ReplaceMacro(std::vector<std::string> lines) override { text = std::move(lines); }
};

struct FakeMessages : SimMessages {
  std::vector<std::string> shown;
  void ShowRunMessage(const std::string& m) override { shown.push_back(m); }
};

struct FakeLink : SimLink {
  bool answers = true;
  std::vector<std::string> sent;
  long busyReads = 0;
  bool SendLine(std::string_view l) override {
    sent.emplace_back(l);
    return answers;
  }
  bool DeviceBusy() override {
    ++busyReads;
    return false;
  }
};

struct FakeDisplay : SimDisplay {
  std::vector<std::uint8_t> page = std::vector<std::uint8_t>(640 * 480, 0);
  int changes = 0;
  std::uint8_t* DisplayPagePixels() override { return page.data(); }
  void DisplayPageChanged() override { ++changes; }
};

// A simulator over the fakes, with the labels of a macro that defines
// every event the window raises.
struct SimFixture {
  FakeRunner runner;
  FakeMacro macro;
  FakeMessages messages;
  FakeLink link;
  FakeDisplay display;
  Simulator sim{{&runner, &macro, &messages, &link, &display}};

  SimFixture() {
    for (const auto& k : kKeys) macro.labels.insert(Sjis(k.label));
    for (const char* l : {"時間割込", "水位計", "圧力計", "連成計", "流量計", "回転計"})
      macro.labels.insert(Sjis(l));
  }
};

}  // namespace qmt::testing
