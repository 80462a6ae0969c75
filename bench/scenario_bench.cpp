// Scenarios: replaying the built-in macro's suite (simulated ticks per
// second, checks against the baselines included), one screen check, and
// `qmt test -j 1` and `-j 2` on the suite and on 100 scenarios, with the
// cores they kept busy (child CPU time / wall time), and 200 failing
// scenarios with --html.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/page_pictures.h"
#include "support/file_io.h"
#include "host/scenario.h"
#include "host/scenario_machine.h"

namespace {

namespace fs = std::filesystem;

qmt::CompiledMacro BuiltIn() {
  qmt::HeadlessToolWindow tool;
  qmt::TDM dm(tool);
  dm.CompileMacro();
  qmt::CompiledMacro m{dm.Script1.Code(), {}};
  dm.Script1.ListLabels(m.labels);
  return m;
}

std::vector<fs::path> SuiteFiles() {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(QMT_SOURCE_DIR) / "tests/scenarios"))
    if (e.path().extension() == ".scn") files.push_back(e.path());
  return files;
}

void BM_Scenario_ReplaySuite(benchmark::State& state) {
  const qmt::CompiledMacro macro = BuiltIn();
  std::vector<qmt::Scenario> suite;
  std::int64_t ticks = 0;
  for (const fs::path& f : SuiteFiles()) {
    suite.push_back(qmt::ReadScenario(f.string()));
    ticks += suite.back().ticks;
  }
  for (auto _ : state) {
    for (const qmt::Scenario& s : suite) {
      qmt::ScenarioReport r = qmt::RunScenario(s, macro, {});
      if (r.status != qmt::ScenarioReport::Status::kPassed) state.SkipWithError(qmt::FailureText(r.failure).c_str());
    }
  }
  state.SetItemsProcessed(state.iterations() * ticks);
  state.counters["ms_per_1000_ticks"] =
      benchmark::Counter(static_cast<double>(ticks) / 1000.0 / 1000.0,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Scenario_ReplaySuite)->Unit(benchmark::kMillisecond);

double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One screen check: the baseline read from its file and decoded, then
// compared with the page, which matches it.
void BM_Scenario_ScreenCheck(benchmark::State& state) {
  const std::string path = (fs::path(QMT_SOURCE_DIR) / "tests/scenarios/screen-a.png").string();
  qmt::BaselinePicture picture;
  std::string error;
  if (!qmt::DecodeBaseline(qmt::ReadFile(path), picture, error) || !picture.colours) {
    state.SkipWithError("screen-a.png cannot be read as a baseline");
    return;
  }
  const std::vector<std::uint8_t> page = picture.bytes;
  for (auto _ : state) {
    qmt::BaselinePicture b;
    qmt::DecodeBaseline(qmt::ReadFile(path), b, error);
    qmt::PageDifference d = qmt::ComparePage(page.data(), b);
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_Scenario_ScreenCheck)->Unit(benchmark::kMicrosecond);

// A folder of `count` scenarios: the suite's, copied as often as needed.
fs::path ScenarioFolder(int count) {
  const fs::path dir =
      fs::temp_directory_path() / ("qmt-bench-scenarios-" + std::to_string(::getpid()) + "-" + std::to_string(count));
  fs::remove_all(dir);
  const fs::path suite = fs::path(QMT_SOURCE_DIR) / "tests/scenarios";
  const std::vector<fs::path> files = SuiteFiles();
  int copies = 0;
  for (int n = 0; copies < count; ++n) {
    const fs::path sub = dir / std::to_string(n);
    fs::create_directories(sub);
    for (const auto& e : fs::directory_iterator(suite))
      if (e.path().extension() != ".scn" && e.is_regular_file()) fs::copy_file(e.path(), sub / e.path().filename());
    for (const fs::path& f : files) {
      if (copies == count) break;
      fs::copy_file(f, sub / f.filename());
      ++copies;
    }
  }
  return dir;
}

// qmt test as a whole process: the suite (range 0: its own size) or 100
// scenarios, with -j 1 or -j 2.
void BM_QmtTest(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const fs::path dir = ScenarioFolder(count ? count : static_cast<int>(SuiteFiles().size()));
  const std::string command =
      std::string(QMT_TOOL) + " test -j " + std::to_string(state.range(1)) + " " + dir.string() + " > /dev/null";
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double before = ChildCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("qmt test failed");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu += ChildCpuSeconds() - before;
  }
  state.counters["cores"] = wall > 0 ? cpu / wall : 0;
  state.counters["child_cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
  fs::remove_all(dir);
}
BENCHMARK(BM_QmtTest)
    ->ArgNames({"scenarios", "jobs"})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({100, 1})
    ->Args({100, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// 200 failing scenarios with --html, -j 1 and -j 2: each failure's
// baseline, page and diff pictures written for the report.  The scenarios
// differ from their baseline in a key's worth of pixels, as a change of
// the macro's drawing would make them.
void BM_QmtTestHtml(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("qmt-bench-html-" + std::to_string(::getpid()) + "-" + std::to_string(state.range(1)));
  fs::remove_all(dir);
  fs::create_directories(dir / "s");
  fs::copy_file(fs::path(QMT_SOURCE_DIR) / "tests/scenarios/start-up.png", dir / "s/start-up.png");
  const int count = static_cast<int>(state.range(0));
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "s/f%03d.scn", i);
    qmt::WriteFileAtomic((dir / name).string(), "key 取扱\nexpect screen start-up.png\n");
  }
  const std::string command = std::string(QMT_TOOL) + " test -j " + std::to_string(state.range(1)) + " " +
                              (dir / "s").string() + " --html " + (dir / "report").string() + " > /dev/null";
  double cpu = 0;
  for (auto _ : state) {
    const double before = ChildCpuSeconds();
    // 1: the scenarios fail, as they are meant to.
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) state.SkipWithError("qmt test did not report failures");
    cpu += ChildCpuSeconds() - before;
  }
  state.counters["child_cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
  fs::remove_all(dir);
}
BENCHMARK(BM_QmtTestHtml)
    ->ArgNames({"failing", "jobs"})
    ->Args({200, 1})
    ->Args({200, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
