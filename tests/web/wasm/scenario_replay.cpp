// The built-in macro's scenario suite replayed by the WebAssembly core under
// node: every scenario in the folder, each on a fresh machine, as `qmt test`
// replays them natively.  Prints one line per scenario; exit status 1 when
// one failed, 2 when none could be run.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "host/data_module.h"
#include "host/scenario.h"
#include "host/scenario_machine.h"

int main(int argc, char** argv) {
  using namespace qmt;
  if (argc != 2) {
    std::fprintf(stderr, "usage: qmt_web_scenarios DIR\n");
    return 2;
  }
  try {
    HeadlessToolWindow tool;
    TDM dm(tool);
    dm.CompileMacro();
    if (!tool.ErrLog().empty()) {
      std::fprintf(stderr, "the built-in macro has errors\n");
      return 2;
    }
    const CompiledMacro macro{dm.Script1.Code(), dm.LabelTable()};
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
      if (entry.path().extension() == ".scn") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
      std::fprintf(stderr, "no scenarios in %s\n", argv[1]);
      return 2;
    }
    int failed = 0;
    for (const std::string& file : files) {
      const std::string name = std::filesystem::path(file).filename().string();
      try {
        const ScenarioReport report = RunScenario(ReadScenario(file), macro, {});
        if (report.status == ScenarioReport::Status::kPassed) {
          std::printf("ok   %s (%lld ticks)\n", name.c_str(), static_cast<long long>(report.ticks));
        } else {
          ++failed;
          std::printf("FAIL %s: %s\n", name.c_str(), FailureText(report.failure).c_str());
        }
      } catch (const std::exception& e) {
        ++failed;
        std::printf("FAIL %s: %s\n", name.c_str(), e.what());
      }
    }
    std::printf("%zu scenarios, %d failed\n", files.size(), failed);
    return failed ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qmt_web_scenarios: %s\n", e.what());
    return 2;
  }
}
