// The core's hot paths measured the same way in the native build and in the
// WebAssembly build under node, so that the two can be set side by side in
// one run: the macro loop (loop_macro.h) and 10,000 device lines.  The same
// source, the same work; `qmt_core_bench NAME` prints Google Benchmark JSON
// with rows BM_Core_<what>/<NAME> (median of five timed rounds).
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../loop_macro.h"
#include "compiler/script.h"
#include "device/qmt3308.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "runtime/runner.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#else
#include <ctime>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// The process's CPU time in nanoseconds: on a busy machine it counts the
// benchmark's own work, which the wall time mixes with everyone else's.
#if defined(__EMSCRIPTEN__)
// Under node: user and system time of the whole process.
EM_JS(double, ProcessCpuNanos, (), {
  const u = process.cpuUsage();
  return (u.user + u.system) * 1000;
});
#else
double ProcessCpuNanos() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}
#endif

// 10,000 lines and their colours from a generator of its own, so that both
// builds draw exactly the same ones.
std::vector<std::string> DeviceLines() {
  std::uint32_t seed = 3308;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  std::vector<std::string> lines;
  for (int i = 0; i < 10000; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "CS%02X", static_cast<unsigned>(next(256)));
    lines.emplace_back(buf);
    const unsigned x1 = next(640), y1 = next(480), x2 = next(640), y2 = next(480);
    std::snprintf(buf, sizeof buf, "LA%u,%u,%u,%u,1", x1, y1, x2, y2);
    lines.emplace_back(buf);
  }
  return lines;
}

struct Row {
  std::string name;
  double nsPerOp;   // wall time
  double cpuPerOp;  // CPU time
  double itemsPerOp;
};

struct Times {
  double wall;
  double cpu;
};

// Median wall and CPU time of one operation over five rounds of at least
// 0.2 s each.
// Each operation is a call of a function of its own: WebAssembly engines
// move a function to their optimising compiler between calls, never in the
// middle of one, so work inlined into one long call would stay on the
// baseline compiler.
template <typename Op>
[[gnu::noinline]] void Call(Op& op) {
  op();
}

template <typename Op>
Times Measure(Op op) {
  std::vector<double> wall, cpu;
  for (int r = 0; r < 5; ++r) {
    long n = 0;
    const auto start = Clock::now();
    const double cpuStart = ProcessCpuNanos();
    double elapsed = 0;
    do {
      Call(op);
      ++n;
      elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    } while (elapsed < 2e8);
    wall.push_back(elapsed / static_cast<double>(n));
    cpu.push_back((ProcessCpuNanos() - cpuStart) / static_cast<double>(n));
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[2], cpu[2]};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string build = argc > 1 ? argv[1] : "native";
  std::vector<Row> rows;

  qmt::NameTables tables;
  qmt::TScript script;
  if (!qmt::CompileMacroLines(script, tables, qmt::bench::kLoopMacro).empty()) {
    std::fprintf(stderr, "the loop macro does not compile\n");
    return 1;
  }
  qmt::TRunner runner;
  script.ListLabels(runner.labels);
  runner.LoadImage(script.Code());
  runner.stepBudget = INT_MAX;
  const std::uint16_t start = runner.Context().machine.PC;
  const Times loop = Measure([&] {
    runner.Context().machine.PC = start;
    runner.RunFrom();
  });
  rows.push_back({"BM_Core_Macro_Loop/" + build, loop.wall, loop.cpu,
                  static_cast<double>(qmt::bench::kLoopIterations)});
  if (runner.Context().errorCode != 0) {
    std::fprintf(stderr, "the loop stopped with an error\n");
    return 1;
  }

  const std::vector<std::string> lines = DeviceLines();
  qmt::TQMT3308 device;
  const Times drawn = Measure([&] {
    for (const std::string& line : lines) device.ExecuteLine(line);
  });
  rows.push_back({"BM_Core_Device_Lines/" + build, drawn.wall, drawn.cpu, static_cast<double>(lines.size() / 2)});

  std::printf("{\n  \"context\": {\"library_build_type\": \"none\"},\n  \"benchmarks\": [\n");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    std::printf("    {\"name\": \"%s\", \"run_name\": \"%s\", \"run_type\": \"iteration\", \"iterations\": 1, "
                "\"real_time\": %.1f, \"cpu_time\": %.1f, \"time_unit\": \"ns\", \"items_per_second\": %.1f}%s\n",
                r.name.c_str(), r.name.c_str(), r.nsPerOp, r.cpuPerOp, r.itemsPerOp * 1e9 / r.nsPerOp,
                i + 1 < rows.size() ? "," : "");
  }
  std::printf("  ]\n}\n");
  return 0;
}
