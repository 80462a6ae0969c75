// Running qmt test's scenarios: one after the other in this process, or in
// this process and worker processes started once, each taking one scenario
// after another (a scenario that brings a worker down takes only itself
// with it).
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>

#include "device/png.h"
#include "host/page_pictures.h"
#include "host/scenario.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "test_files.h"
#include "test_run.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

std::string ToUtf8Path(const fs::path& p) { return p.generic_string(); }

// Lines around the differences of a lines check, three on each side.
std::vector<DiffLine> AroundDifferences(const std::vector<DiffLine>& diff) {
  constexpr std::size_t kContext = 3;
  std::vector<bool> keep(diff.size(), false);
  for (std::size_t i = 0; i < diff.size(); ++i) {
    if (diff[i].op == ' ') continue;
    const std::size_t from = i >= kContext ? i - kContext : 0;
    for (std::size_t k = from; k < std::min(diff.size(), i + kContext + 1); ++k) keep[k] = true;
  }
  std::vector<DiffLine> out;
  std::size_t left = 0;
  for (std::size_t i = 0; i < diff.size(); ++i) {
    if (!keep[i]) {
      ++left;
      continue;
    }
    if (left) out.push_back({'@', std::to_string(left)});
    left = 0;
    out.push_back({diff[i].op, Cp932ToUtf8(diff[i].text)});
  }
  if (left) out.push_back({'@', std::to_string(left)});
  return out;
}

// The outcome through a pipe: numbers and length-prefixed strings.
struct WireWriter {
  std::string bytes;
  void Put(std::uint64_t n) { bytes.append(reinterpret_cast<const char*>(&n), sizeof n); }
  void Put(const std::string& s) {
    Put(static_cast<std::uint64_t>(s.size()));
    bytes += s;
  }
  void Put(const std::vector<std::string>& v) {
    Put(static_cast<std::uint64_t>(v.size()));
    for (const std::string& s : v) Put(s);
  }
};

class WireReader {
 public:
  explicit WireReader(const std::string& bytes) : bytes_(bytes) {}
  bool Get(std::uint64_t& n) {
    if (bytes_.size() - at_ < sizeof n) return false;
    std::memcpy(&n, bytes_.data() + at_, sizeof n);
    at_ += sizeof n;
    return true;
  }
  bool Get(std::string& s) {
    std::uint64_t n = 0;
    if (!Get(n) || bytes_.size() - at_ < n) return false;
    s.assign(bytes_, at_, n);
    at_ += n;
    return true;
  }
  bool Get(std::vector<std::string>& v) {
    std::uint64_t n = 0;
    if (!Get(n) || n > bytes_.size()) return false;
    v.resize(n);
    for (std::string& s : v)
      if (!Get(s)) return false;
    return true;
  }

 private:
  const std::string& bytes_;
  std::size_t at_ = 0;
};

std::string Serialize(const Outcome& o) {
  WireWriter w;
  w.Put(static_cast<std::uint64_t>(o.status));
  std::uint64_t ms;
  std::memcpy(&ms, &o.seconds, sizeof ms);
  w.Put(ms);
  w.Put(o.text);
  w.Put(o.warnings);
  w.Put(static_cast<std::uint64_t>(o.line));
  w.Put(o.step);
  w.Put(o.message);
  w.Put(o.pictures);
  w.Put(static_cast<std::uint64_t>(o.lines.size()));
  for (const DiffLine& d : o.lines) w.Put(std::string(1, d.op) + d.text);
  w.Put(static_cast<std::uint64_t>(o.marks.size()));
  for (const PageRect& r : o.marks)
    for (int v : {r.x, r.y, r.w, r.h}) w.Put(static_cast<std::uint64_t>(v));
  w.Put(static_cast<std::uint64_t>(o.writes.size()));
  for (const BaselineWrite& b : o.writes) {
    w.Put(b.path);
    w.Put(static_cast<std::uint64_t>(b.line));
    w.Put(b.step);
    w.Put(b.seen);
    w.Put(static_cast<std::uint64_t>(b.exists) | static_cast<std::uint64_t>(b.changed) << 1);
    w.Put(b.bytes);
    w.Put(b.change);
  }
  return w.bytes;
}

bool Deserialize(const std::string& bytes, Outcome& o) {
  WireReader w(bytes);
  std::uint64_t status = 0, seconds = 0, line = 0, n = 0;
  if (!w.Get(status) || !w.Get(seconds) || !w.Get(o.text) || !w.Get(o.warnings) || !w.Get(line) || !w.Get(o.step) ||
      !w.Get(o.message) || !w.Get(o.pictures) || !w.Get(n))
    return false;
  o.status = static_cast<Outcome::Status>(status);
  std::memcpy(&o.seconds, &seconds, sizeof seconds);
  o.line = static_cast<int>(line);
  for (std::uint64_t i = 0; i < n; ++i) {
    std::string s;
    if (!w.Get(s) || s.empty()) return false;
    o.lines.push_back({s[0], s.substr(1)});
  }
  if (!w.Get(n) || n > bytes.size()) return false;
  for (std::uint64_t i = 0; i < n; ++i) {
    std::uint64_t v[4];
    for (std::uint64_t& x : v)
      if (!w.Get(x)) return false;
    o.marks.push_back({static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3])});
  }
  if (!w.Get(n)) return false;
  for (std::uint64_t i = 0; i < n; ++i) {
    BaselineWrite b;
    std::uint64_t l = 0, flags = 0;
    if (!w.Get(b.path) || !w.Get(l) || !w.Get(b.step) || !w.Get(b.seen) || !w.Get(flags) || !w.Get(b.bytes) ||
        !w.Get(b.change))
      return false;
    b.line = static_cast<int>(l);
    b.exists = flags & 1;
    b.changed = flags & 2;
    o.writes.push_back(std::move(b));
  }
  return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// What the workers share: the number of the next case, which each takes
// for itself (no round trip through this process between two cases), and
// the case each is running, for one that dies in it.
struct Shared {
  std::atomic<std::uint32_t> next{0};
  std::atomic<std::uint32_t> running[256];
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// A worker: takes cases until none is left and answers each with its
// number, the outcome's length and bytes.
[[noreturn]] void WorkerLoop(Shared& shared, std::size_t slot, int results, const std::vector<Case>& cases,
                             const CompiledMacro& macro, const TestOptions& opt) {
  for (;;) {
    const std::uint32_t index = shared.next.fetch_add(1);
    if (index >= cases.size()) break;
    shared.running[slot].store(index);
    const std::string bytes = Serialize(RunCase(cases[index], macro, opt));
    const std::uint64_t size = bytes.size();
    if (!WriteAll(results, &index, sizeof index) || !WriteAll(results, &size, sizeof size) ||
        !WriteAll(results, bytes.data(), bytes.size()))
      break;
  }
  _exit(0);
}

struct Worker {
  pid_t pid = -1;
  int results = -1;  // the parent reads outcomes
  std::string received;
};

Worker StartWorker(Shared& shared, std::size_t slot, const std::vector<Case>& cases, const CompiledMacro& macro,
                   const TestOptions& opt, const std::vector<Worker>& others) {
  int results[2];
  if (pipe(results) != 0) throw FileError(std::string("cannot start a worker: ") + std::strerror(errno));
  shared.running[slot].store(static_cast<std::uint32_t>(cases.size()));
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) {
    close(results[0]);
    close(results[1]);
    throw FileError(std::string("cannot start a worker: ") + std::strerror(errno));
  }
  if (pid == 0) {
    // The other workers' pipes stay with the parent, so that it sees each
    // one end.
    for (const Worker& w : others)
      if (w.results >= 0) close(w.results);
    close(results[0]);
    WorkerLoop(shared, slot, results[1], cases, macro, opt);
  }
  close(results[1]);
  Worker w;
  w.pid = pid;
  w.results = results[0];
  return w;
}

int StopWorker(Worker& w) {
  if (w.results >= 0) close(w.results);
  w.results = -1;
  int s = 0;
  while (waitpid(w.pid, &s, 0) < 0 && errno == EINTR) {
  }
  return s;
}

}  // namespace

std::string PathBelow(const std::string& name) {
  fs::path below;
  for (const fs::path& part : fs::path(name).lexically_normal().relative_path())
    if (part != "..") below /= part;
  return below.generic_string();
}

bool CollectCases(const std::vector<std::string>& paths, std::vector<Case>& cases, std::string& error) {
  for (const std::string& arg : paths) {
    std::error_code ec;
    fs::path p(arg);
    if (fs::is_directory(p, ec)) {
      std::vector<fs::path> found;
      for (fs::recursive_directory_iterator it(p, fs::directory_options::skip_permission_denied, ec), end;
           !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().extension() == ".scn") found.push_back(it->path());
      }
      if (ec) {
        error = "cannot read the folder " + arg + ": " + ec.message();
        return false;
      }
      if (found.empty()) {
        error = "no *.scn scenario files in " + arg;
        return false;
      }
      std::sort(found.begin(), found.end());
      for (const fs::path& f : found) {
        fs::path rel = f.lexically_relative(p);
        rel.replace_extension();
        cases.push_back({ToUtf8Path(f), ToUtf8Path(rel)});
      }
    } else if (fs::is_regular_file(p, ec)) {
      cases.push_back({arg, p.stem().string()});
    } else {
      error = "cannot open " + arg + ": No such file or directory";
      return false;
    }
  }
  // A file given twice (or inside two folders given) runs once.
  std::vector<fs::path> seen;
  std::vector<Case> unique;
  for (Case& c : cases) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(c.file, ec);
    if (ec) key = fs::absolute(c.file, ec).lexically_normal();
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    unique.push_back(std::move(c));
  }
  cases = std::move(unique);
  // Scenarios of the same name from different folders are named by their
  // paths, so that their reports and diff pictures stay apart.
  std::map<std::string, int> count;
  for (const Case& c : cases) ++count[c.name];
  for (Case& c : cases) {
    if (count[c.name] > 1) c.name = fs::path(c.file).replace_extension().lexically_normal().generic_string();
  }
  return true;
}

Outcome RunCase(const Case& c, const CompiledMacro& macro, const TestOptions& opt) {
  Outcome out;
  const auto start = std::chrono::steady_clock::now();
  try {
    Scenario scenario = ReadScenario(c.file);
    ScenarioOptions options;
    options.update = opt.update;
    ScenarioReport report = RunScenario(scenario, macro, options);
    out.writes = std::move(report.writes);
    out.warnings = report.warnings;
    if (report.status == ScenarioReport::Status::kPassed) {
      out.status = Outcome::kPassed;
    } else {
      const StepResult& f = report.failure;
      out.status = report.status == ScenarioReport::Status::kError ? Outcome::kError : Outcome::kFailed;
      out.text = FailureText(f);
      out.line = f.line;
      out.step = f.step;
      out.message = f.message;
      const bool failed = out.status == Outcome::kFailed;
      const std::string below = PathBelow(c.name);
      // Each picture is made and encoded once, for both folders.
      std::string actual, diff;
      if (failed && f.pictures && (!opt.diffDir.empty() || !opt.html.empty())) {
        actual = EncodeRgbPng(PagePicture(f.actual.data()));
        if (f.haveBaseline) diff = EncodeRgbPng(DiffPicture(f.actual.data(), f.baseline, f.ignored));
      }
      if (!opt.diffDir.empty() && failed) {
        const std::string base = (fs::path(opt.diffDir) / below).generic_string();
        if (f.pictures) {
          WriteReportFile(opt.diffDir, below + "-actual.png", actual);
          if (f.haveBaseline) {
            WriteReportFile(opt.diffDir, below + "-diff.png", diff);
            out.text += "; see " + base + "-actual.png, " + base + "-diff.png";
          } else {
            out.text += "; see " + base + "-actual.png";
          }
        } else if (!f.actualLines.empty() || f.step.starts_with("expect")) {
          WriteReportFile(opt.diffDir, below + "-lines.txt", LinesFileText(f.actualLines));
          out.text += "; see " + base + "-lines.txt";
        }
      }
      if (!opt.html.empty() && failed) {
        if (f.pictures) {
          const std::string rel = "pictures/" + below;
          out.pictures.assign(3, "");
          if (f.haveBaseline) {
            WriteReportFile(opt.html, rel + "-baseline.png", EncodeRgbPng(f.baseline));
            WriteReportFile(opt.html, rel + "-diff.png", diff);
            out.pictures[0] = rel + "-baseline.png";
            out.pictures[2] = rel + "-diff.png";
            out.marks = DifferenceAreas(f.actual.data(), f.baseline, f.ignored);
          }
          WriteReportFile(opt.html, rel + "-actual.png", actual);
          out.pictures[1] = rel + "-actual.png";
        } else if (f.lines) {
          out.lines = AroundDifferences(LineDiff(f.expectedLines, f.actualLines));
        }
      }
    }
  } catch (const std::exception& e) {
    out.status = Outcome::kError;
    out.text = e.what();
    out.message = out.text;
  }
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

std::vector<Outcome> RunAll(const std::vector<Case>& cases, const CompiledMacro& macro, const TestOptions& opt,
                            const std::function<void(std::size_t, const Outcome&)>& done) {
  std::vector<Outcome> outcomes(cases.size());
  std::vector<bool> finished(cases.size(), false);
  std::size_t printed = 0;
  auto finish = [&](std::size_t i, Outcome o) {
    outcomes[i] = std::move(o);
    finished[i] = true;
    while (printed < cases.size() && finished[printed]) {
      done(printed, outcomes[printed]);
      ++printed;
    }
  };
  const std::size_t jobs = std::min<std::size_t>(static_cast<std::size_t>(std::max(opt.jobs, 1)), cases.size());
  if (jobs <= 1) {
    for (std::size_t i = 0; i < cases.size(); ++i) finish(i, RunCase(cases[i], macro, opt));
    return outcomes;
  }
  // The workers are started before this process runs anything: each makes
  // its own machine, at the same time as the others, rather than copying
  // page by page the one this process would have made.
  void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) throw FileError(std::string("cannot start the workers: ") + std::strerror(errno));
  Shared& shared = *new (memory) Shared;
  struct Unmap {
    void* memory;
    ~Unmap() { munmap(memory, sizeof(Shared)); }
  } unmap{memory};
  const auto n = static_cast<std::uint32_t>(cases.size());
  std::vector<Worker> workers;
  // A worker that dies leaves the case it was running an error; the
  // others, and a new one in its place, take the rest.
  auto died = [&](std::size_t slot, int status) {
    const std::uint32_t index = shared.running[slot].load();
    if (index >= n || finished[index]) return;
    Outcome o;
    o.status = Outcome::kError;
    o.text = WIFSIGNALED(status) ? "the scenario's worker process died of signal " + std::to_string(WTERMSIG(status))
                                 : "the scenario's worker process ended without a result";
    o.message = o.text;
    finish(index, std::move(o));
  };
  try {
    // This process is one of the workers: it starts the others and takes
    // scenarios as they do, reading what they sent between two of its own.
    for (std::size_t i = 0; i + 1 < jobs; ++i) workers.push_back(StartWorker(shared, i, cases, macro, opt, workers));
    bool taking = true;
    for (;;) {
      int wait = -1;
      if (taking) {
        const std::uint32_t index = shared.next.fetch_add(1);
        if (index < n) {
          finish(index, RunCase(cases[index], macro, opt));
          wait = 0;
        } else {
          taking = false;
        }
      }
      const bool open = std::any_of(workers.begin(), workers.end(), [](const Worker& w) { return w.results >= 0; });
      if (!open && !taking) break;
      if (!open) continue;
      std::vector<pollfd> fds;
      for (const Worker& w : workers) fds.push_back({w.results, POLLIN, 0});
      if (poll(fds.data(), fds.size(), wait) < 0) {
        if (errno == EINTR) continue;
        throw FileError(std::string("cannot wait for a worker: ") + std::strerror(errno));
      }
      for (std::size_t k = 0; k < workers.size(); ++k) {
        Worker& w = workers[k];
        if (w.results < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[65536];
        ssize_t got = read(w.results, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got > 0) {
          w.received.append(buffer, static_cast<std::size_t>(got));
          // Each whole outcome received: its case number, length and bytes.
          for (;;) {
            std::uint32_t index = 0;
            std::uint64_t size = 0;
            constexpr std::size_t head = sizeof index + sizeof size;
            if (w.received.size() < head) break;
            std::memcpy(&index, w.received.data(), sizeof index);
            std::memcpy(&size, w.received.data() + sizeof index, sizeof size);
            if (w.received.size() - head < size) break;
            Outcome o;
            if (!Deserialize(w.received.substr(head, size), o)) {
              o = Outcome{};
              o.status = Outcome::kError;
              o.text = o.message = "the scenario's worker process sent a result that cannot be read";
            }
            w.received.erase(0, head + size);
            if (index < n && !finished[index]) finish(index, std::move(o));
          }
          continue;
        }
        // The worker ended: when it did not end of itself, it was running
        // a case, and a new worker takes its place while cases are left.
        const int status = StopWorker(w);
        died(k, status);
        if (shared.next.load() < n) w = StartWorker(shared, k, cases, macro, opt, workers);
      }
    }
  } catch (...) {
    shared.next.store(n);
    for (Worker& w : workers)
      if (w.results >= 0) StopWorker(w);
    throw;
  }
  // A case taken by a worker that died before it said so.
  for (std::uint32_t i = 0; i < n; ++i) {
    if (finished[i]) continue;
    Outcome o;
    o.status = Outcome::kError;
    o.text = o.message = "the scenario's worker process ended without a result";
    finish(i, std::move(o));
  }
  return outcomes;
}

}  // namespace qmt::cli
