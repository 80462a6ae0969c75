// Whole-process start-up: the simulator window up to its first painted frame
// (offscreen) and the headless tool rendering the built-in macro to a PNG.
// Each iteration starts the built program and waits for it; the children's
// CPU time is reported beside the wall time, which a busy machine inflates.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QTemporaryDir>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Child {
  bool ok = false;
  double cpuSeconds = 0;
};

// Runs `args` with `extraEnv` added to this process's environment, its output
// thrown away, and waits for it.
Child Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) {
    bool replaced = false;
    for (const auto& x : extraEnv)
      replaced |= std::string_view(*e).starts_with(std::string_view(x).substr(0, x.find('=') + 1));
    if (!replaced) envp.push_back(*e);
  }
  for (const auto& x : extraEnv) envp.push_back(const_cast<char*>(x.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  Child child;
  if (rc != 0) return child;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  child.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  child.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  return child;
}

void RunProcess(benchmark::State& state, const std::vector<std::string>& args,
                const std::vector<std::string>& extraEnv) {
  double cpu = 0;
  for (auto _ : state) {
    Child child = Run(args, extraEnv);
    if (!child.ok) {
      state.SkipWithError((args[0] + " failed").c_str());
      break;
    }
    cpu += child.cpuSeconds;
  }
  state.counters["child_cpu_ms"] = benchmark::Counter(cpu * 1e3, benchmark::Counter::kAvgIterations);
}

void BM_Process_QmtsimFirstPaint(benchmark::State& state) {
  RunProcess(state, {QMT_QMTSIM_PATH, "--quit-after-first-paint"}, {"QT_QPA_PLATFORM=offscreen"});
}
BENCHMARK(BM_Process_QmtsimFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_Process_QmtRunPng(benchmark::State& state) {
  QTemporaryDir dir;
  RunProcess(state, {QMT_QMT_PATH, "run", "--png", QDir(dir.path()).filePath("a.png").toStdString()}, {});
}
BENCHMARK(BM_Process_QmtRunPng)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace
