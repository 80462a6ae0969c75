// qmt test: runs scenario files against a macro and reports one line per
// scenario, in the order given, however many run at once.  Exit status 0
// when all passed, 1 when one failed, 2 for errors (a bad scenario, a
// missing or unreadable file, a bad option).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "host/config_files.h"
#include "host/macro_compile.h"
#include "host/page_pictures.h"
#include "host/program_macro.h"
#include "host/scenario.h"
#include "host/scenario_machine.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

struct TestOptions {
  std::vector<std::string> paths;
  std::string macroFile;
  bool utf8 = false;
  bool update = false;
  std::string diffDir;
  std::string junit;
  int jobs = 1;
};

struct Case {
  std::string file;  // the scenario file
  std::string name;  // its name in the report
};

// What one scenario came to, as the parent prints and reports it.
struct Outcome {
  enum Status : char { kPassed = 'P', kFailed = 'F', kError = 'E' };
  Status status = kPassed;
  std::string text;                  // after "FAIL name: " or "ERROR name: "
  std::vector<std::string> updated;  // files an update wrote
  std::vector<std::string> warnings;
  double seconds = 0;
};

std::string ToUtf8Path(const fs::path& p) { return p.generic_string(); }

// The scenarios named on the command line: a file as it is, a folder's
// *.scn files at any depth in name order.  False with a message for a path
// that is missing or a folder without scenarios.
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

void WriteDiffFile(const std::string& path, std::string_view bytes) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  WriteFileAtomic(path, bytes);
}

// Runs one scenario; writes the pictures of a failed screen check.
Outcome RunCase(const Case& c, const CompiledMacro& macro, const TestOptions& opt) {
  Outcome out;
  const auto start = std::chrono::steady_clock::now();
  try {
    Scenario scenario = ReadScenario(c.file);
    ScenarioOptions options;
    options.update = opt.update;
    ScenarioReport report = RunScenario(scenario, macro, options);
    out.updated = report.updated;
    out.warnings = report.warnings;
    if (report.status == ScenarioReport::Status::kPassed) {
      out.status = Outcome::kPassed;
    } else {
      const StepResult& f = report.failure;
      out.status = report.status == ScenarioReport::Status::kError ? Outcome::kError : Outcome::kFailed;
      out.text = FailureText(f);
      if (!opt.diffDir.empty() && out.status == Outcome::kFailed) {
        // A name that is a path (of twins) stays below the folder.
        fs::path below;
        for (const fs::path& part : fs::path(c.name).lexically_normal().relative_path())
          if (part != "..") below /= part;
        const std::string base = (fs::path(opt.diffDir) / below).generic_string();
        if (f.pictures) {
          WriteDiffFile(base + "-actual.png", EncodeRgbPng(PagePicture(f.actual.data())));
          if (f.haveBaseline) {
            WriteDiffFile(base + "-diff.png", EncodeRgbPng(DiffPicture(f.actual.data(), f.baseline)));
            out.text += "; see " + base + "-actual.png, " + base + "-diff.png";
          } else {
            out.text += "; see " + base + "-actual.png";
          }
        } else if (!f.actualLines.empty() || f.step.starts_with("expect")) {
          WriteDiffFile(base + "-lines.txt", LinesFileText(f.actualLines));
          out.text += "; see " + base + "-lines.txt";
        }
      }
    }
  } catch (const std::exception& e) {
    out.status = Outcome::kError;
    out.text = e.what();
  }
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

// The outcome through a pipe: fields separated by NUL bytes.
std::string Serialize(const Outcome& o) {
  std::string s(1, static_cast<char>(o.status));
  s += '\0';
  s += std::to_string(o.seconds);
  s += '\0';
  s += o.text.substr(0, 16000);
  s += '\0';
  std::string w;
  for (const std::string& x : o.warnings) w += x + '\n';
  s += w.substr(0, 16000);
  for (const std::string& u : o.updated) {
    s += '\0';
    s += u;
  }
  return s;
}

Outcome Deserialize(const std::string& s) {
  Outcome o;
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    std::size_t end = s.find('\0', start);
    fields.push_back(s.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (fields.size() < 4 || fields[0].size() != 1) {
    o.status = Outcome::kError;
    o.text = "the scenario's worker process ended without a result";
    return o;
  }
  o.status = static_cast<Outcome::Status>(fields[0][0]);
  o.seconds = std::atof(fields[1].c_str());
  o.text = fields[2];
  for (std::size_t start = 0, end; (end = fields[3].find('\n', start)) != std::string::npos; start = end + 1)
    o.warnings.push_back(fields[3].substr(start, end - start));
  o.updated.assign(fields.begin() + 4, fields.end());
  return o;
}

std::string ReadAll(int fd) {
  std::string s;
  char buffer[4096];
  while (true) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    s.append(buffer, static_cast<std::size_t>(n));
  }
  return s;
}

void WriteAll(int fd, const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void Print(const Case& c, const Outcome& o) {
  std::string line;
  switch (o.status) {
    case Outcome::kPassed:
      line = "PASS " + c.name;
      break;
    case Outcome::kFailed:
      line = "FAIL " + c.name + ": " + o.text;
      break;
    case Outcome::kError:
      line = "ERROR " + c.name + ": " + o.text;
      break;
  }
  if (!o.updated.empty()) {
    line += "; updated ";
    for (std::size_t i = 0; i < o.updated.size(); ++i) line += (i ? ", " : "") + o.updated[i];
  }
  for (const std::string& w : o.warnings) line += "; warning: " + w;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

// Runs the cases in child processes, at most `jobs` at once (the device
// and the built-ins keep process-wide state, so scenarios are not run on
// threads), and prints each outcome once all before it are printed.
std::vector<Outcome> RunAll(const std::vector<Case>& cases, const CompiledMacro& macro, const TestOptions& opt) {
  std::vector<Outcome> outcomes(cases.size());
  std::vector<bool> done(cases.size(), false);
  std::size_t printed = 0;
  auto printReady = [&] {
    while (printed < cases.size() && done[printed]) {
      Print(cases[printed], outcomes[printed]);
      ++printed;
    }
  };
  if (opt.jobs <= 1) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
      outcomes[i] = RunCase(cases[i], macro, opt);
      done[i] = true;
      printReady();
    }
    return outcomes;
  }
  // The fonts and glyph caches are set up once here, so that each worker
  // inherits them instead of loading them again.
  {
    ScenarioMachine warm(macro);
    warm.Start();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  struct Running {
    std::size_t index;
    int fd;
  };
  std::map<pid_t, Running> running;
  std::size_t next = 0;
  while (next < cases.size() || !running.empty()) {
    while (next < cases.size() && static_cast<int>(running.size()) < opt.jobs) {
      int fds[2];
      if (pipe(fds) != 0) throw FileError(std::string("cannot start a worker: ") + std::strerror(errno));
      pid_t pid = fork();
      if (pid < 0) throw FileError(std::string("cannot start a worker: ") + std::strerror(errno));
      if (pid == 0) {
        close(fds[0]);
        WriteAll(fds[1], Serialize(RunCase(cases[next], macro, opt)));
        close(fds[1]);
        _exit(0);
      }
      close(fds[1]);
      running[pid] = {next, fds[0]};
      ++next;
    }
    // Reads whichever worker finishes first: its result is small enough for
    // the pipe, so it never waits for the parent.
    int status = 0;
    pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      throw FileError(std::string("cannot wait for a worker: ") + std::strerror(errno));
    }
    auto it = running.find(pid);
    if (it == running.end()) continue;
    const Running r = it->second;
    running.erase(it);
    std::string bytes = ReadAll(r.fd);
    close(r.fd);
    outcomes[r.index] = Deserialize(bytes);
    if (WIFSIGNALED(status)) {
      outcomes[r.index].status = Outcome::kError;
      outcomes[r.index].text = "the scenario's worker process died of signal " + std::to_string(WTERMSIG(status));
    }
    done[r.index] = true;
    printReady();
  }
  return outcomes;
}

std::string XmlEscape(std::string_view text) {
  // A scenario in another encoding puts its bytes in messages: the report
  // stays UTF-8.
  const std::string s = ValidUtf8(text);
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\n': out += "&#10;"; break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

void WriteJunit(const std::string& path, const std::vector<Case>& cases, const std::vector<Outcome>& outcomes,
                double seconds) {
  int failures = 0, errors = 0;
  for (const Outcome& o : outcomes) {
    failures += o.status == Outcome::kFailed;
    errors += o.status == Outcome::kError;
  }
  char head[512];
  std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", std::gmtime(&now));
  std::snprintf(head, sizeof head,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<testsuites name=\"qmt test\" tests=\"%zu\" failures=\"%d\" errors=\"%d\" time=\"%.3f\">\n"
                "  <testsuite name=\"qmt test\" tests=\"%zu\" failures=\"%d\" errors=\"%d\" skipped=\"0\" "
                "time=\"%.3f\" timestamp=\"%s\">\n",
                cases.size(), failures, errors, seconds, cases.size(), failures, errors, seconds, stamp);
  std::string xml = head;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Outcome& o = outcomes[i];
    fs::path dir = fs::path(cases[i].name).parent_path();
    std::string classname = "scenarios";
    if (!dir.empty()) {
      std::string d = dir.generic_string();
      std::replace(d.begin(), d.end(), '/', '.');
      classname += "." + d;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", o.seconds);
    xml += "    <testcase name=\"" + XmlEscape(cases[i].name) + "\" classname=\"" + XmlEscape(classname) +
           "\" file=\"" + XmlEscape(cases[i].file) + "\" time=\"" + time + "\"";
    if (o.status == Outcome::kPassed) {
      xml += "/>\n";
      continue;
    }
    const char* tag = o.status == Outcome::kFailed ? "failure" : "error";
    xml += ">\n      <" + std::string(tag) + " message=\"" + XmlEscape(o.text) + "\">" + XmlEscape(o.text) + "</" +
           tag + ">\n    </testcase>\n";
  }
  xml += "  </testsuite>\n</testsuites>\n";
  std::error_code ec;
  fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  WriteFileAtomic(path, xml);
}

int Test(const TestOptions& opt) {
  std::vector<Case> cases;
  std::string error;
  // When nothing runs, the report still says why: one error entry in place
  // of the report of an earlier run.
  auto nothingRan = [&opt](const std::string& why) {
    PrintError(Utf8ToCp932("qmt test: " + why));
    if (!opt.junit.empty()) {
      Outcome o;
      o.status = Outcome::kError;
      o.text = why;
      WriteJunit(opt.junit, {Case{"", "qmt test"}}, {o}, 0);
    }
    return 2;
  };
  if (!CollectCases(opt.paths.empty() ? std::vector<std::string>{"."} : opt.paths, cases, error))
    return nothingRan(error);
  if (!opt.diffDir.empty()) {
    std::error_code ec;
    fs::create_directories(opt.diffDir, ec);
    if (ec || !fs::is_directory(opt.diffDir)) return nothingRan("cannot create " + opt.diffDir + ": " + ec.message());
  }
  ProgramMacro program;
  try {
    program = CompileProgramMacro(ExecutablePath("qmt"), opt.macroFile, opt.utf8);
  } catch (const std::exception& e) {
    return nothingRan(e.what());
  }
  for (const std::string& note : program.source.notes) PrintError(Utf8ToCp932("note: " + note));
  if (!program.errors.empty()) {
    for (const std::string& e : program.errors)
      for (const std::string& line : SplitLines(e)) PrintError(line);
    return nothingRan(program.source.MacroName() + " has errors; no scenario ran");
  }
  const CompiledMacro& macro = program.compiled;
  std::printf("testing %s\n", program.source.MacroName().c_str());
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  std::vector<Outcome> outcomes = RunAll(cases, macro, opt);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int passed = 0, failed = 0, errors = 0;
  for (const Outcome& o : outcomes) {
    passed += o.status == Outcome::kPassed;
    failed += o.status == Outcome::kFailed;
    errors += o.status == Outcome::kError;
  }
  std::printf("%d passed, %d failed\n", passed, failed + errors);
  std::fflush(stdout);
  if (!opt.junit.empty()) WriteJunit(opt.junit, cases, outcomes, seconds);
  return errors > 0 ? 2 : failed > 0 ? 1 : 0;
}

static Command reg(35, [](CLI::App& app) {
  auto* sub = app.add_subcommand("test", "Run scenario files against a macro and check their screens and lines");
  sub->footer(
      "Each scenario starts the macro as a fresh program does and carries out its steps in simulated\n"
      "time (docs/scenarios.md). A folder stands for all *.scn files in it, at any depth; without a\n"
      "path the current folder is searched. One line per scenario, in the order given: PASS name,\n"
      "FAIL name: line N (step): what differs, or ERROR name: what is wrong; then N passed, N failed.\n"
      "A screen check compares the page's colours with the baseline PNG pixel by pixel. Exit status:\n"
      "0 when all passed, 1 when one failed, 2 for errors (a bad scenario line, a missing or corrupt\n"
      "file, a bad option, a macro with errors).");
  auto opt = std::make_shared<TestOptions>();
  sub->add_option("PATH", opt->paths, "Scenario files and folders of them")->option_text("FILE|DIR ...");
  sub->add_option("--macro", opt->macroFile,
                  "The macro file (code page 932) to test; otherwise the program's own macro, as qmt run uses:\n"
                  "the macro file qmtsim saves, else the built-in one")
      ->option_text("FILE");
  sub->add_flag("--utf8", opt->utf8, "The --macro file is UTF-8; convert it to code page 932 first");
  sub->add_flag("--update", opt->update,
                "Write the baselines and line files of the checks anew instead of comparing; each changed\n"
                "file is named after its scenario");
  sub->add_option("--diff-dir", opt->diffDir,
                  "Write NAME-actual.png and NAME-diff.png (the baseline dimmed, differing pixels in magenta)\n"
                  "for a failed screen check, NAME-lines.txt for a failed lines check; created when missing")
      ->option_text("DIR");
  sub->add_option("--junit", opt->junit, "Write a JUnit XML report")->option_text("FILE");
  sub->add_option("-j,--jobs", opt->jobs, "Scenarios run at once, each in a process of its own")
      ->option_text("N")
      ->capture_default_str()
      ->check(CLI::Range(1, 256));
  return [opt] {
    try {
      return Test(*opt);
    } catch (const std::exception& e) {
      // A missing macro file, a report that cannot be written: errors, 2.
      std::fprintf(stderr, "qmt test: %s\n", e.what());
      return 2;
    }
  };
});

}  // namespace
}  // namespace qmt::cli
