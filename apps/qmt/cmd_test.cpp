// qmt test: runs scenario files against a macro and reports one line per
// scenario, in the order given, however many run at once.  Exit status 0
// when all passed, 1 when one failed, 2 for errors (a bad scenario, a
// missing or unreadable file, a bad option).
#include <algorithm>
#include <chrono>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "host/macro_compile.h"
#include "host/program_macro.h"
#include "host/scenario.h"
#include "host/scenario_update.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "test_files.h"
#include "test_run.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

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
  for (const std::string& w : o.warnings) line += "; warning: " + w;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

// Writes what the update took, one line a written file, and a count.  A
// file whose checks disagree (those of scenarios not named but in the same
// folder tree included) or that cannot be written makes each named scenario
// that checks it an error.
void WriteUpdates(const std::vector<Case>& cases, std::vector<Outcome>& outcomes, const CompiledMacro& macro,
                  std::string& countLine) {
  std::vector<TakenWrite> taken;
  std::vector<FileOfScenario> changed;
  std::vector<std::string> named;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    named.push_back(cases[i].file);
    for (BaselineWrite& w : outcomes[i].writes) {
      if (w.changed) changed.push_back({cases[i].file, w.path});
      taken.push_back({cases[i].name, std::move(w)});
    }
  }
  if (!changed.empty())
    for (TakenWrite& t : ChecksOfSharedFiles(changed, named, macro)) taken.push_back(std::move(t));
  int added = 0, updated = 0, notWritten = 0;
  for (const UpdatedFile& f : WriteBaselines(taken)) {
    std::printf("%s\n", UpdatedFileLine(f).c_str());
    added += f.kind == UpdatedFile::Kind::kNew;
    updated += f.kind == UpdatedFile::Kind::kUpdated;
    if (f.kind != UpdatedFile::Kind::kConflict && f.kind != UpdatedFile::Kind::kError) continue;
    ++notWritten;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      if (std::find(f.scenarios.begin(), f.scenarios.end(), cases[i].name) == f.scenarios.end()) continue;
      Outcome& o = outcomes[i];
      const std::string why = f.path + " not written: " + f.text;
      if (o.status == Outcome::kError) {
        o.text += "; " + why;
      } else {
        o.status = Outcome::kError;
        o.text = why;
      }
      o.message = o.text;
    }
  }
  const int written = added + updated;
  countLine = written == 0 ? "no file written"
                           : std::to_string(written) + (written == 1 ? " file" : " files") + " written: " +
                                 std::to_string(added) + " new, " + std::to_string(updated) + " updated";
  if (notWritten) countLine += "; " + std::to_string(notWritten) + (notWritten == 1 ? " file" : " files") + " not written";
}

int Test(const TestOptions& opt) {
#ifdef __GLIBC__
  // A failure's pictures take a few buffers of a megabyte each: kept by the
  // allocator between scenarios rather than mapped afresh for each, which
  // costs a page fault every 4 KB.
  if (!opt.diffDir.empty() || !opt.html.empty()) {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
  }
#endif
  std::vector<Case> cases;
  std::string error;
  // The pictures and lines files of an earlier run go: each run leaves
  // only its own.
  auto removeEarlier = [&opt] {
    for (const std::string& dir : {opt.diffDir, opt.html})
      if (!dir.empty()) RemoveEarlierReportFiles(dir);
  };
  // When nothing runs, the reports still say why: one error entry in place
  // of the reports of an earlier run.
  auto nothingRan = [&opt, &removeEarlier](const std::string& why, const std::string& detail = "") {
    PrintError(Utf8ToCp932("qmt test: " + why));
    Outcome o;
    o.status = Outcome::kError;
    o.text = o.message = why;
    o.detail = detail;
    if (!opt.junit.empty()) WriteJunit(opt.junit, {Case{"", "qmt test"}}, {o}, 0);
    removeEarlier();
    // A folder that cannot be made is what was said already.
    try {
      if (!opt.html.empty()) WriteHtmlReport(opt.html, {Case{"", "qmt test"}}, {o}, 0, "");
    } catch (const FileError&) {
    }
    return 2;
  };
  if (opt.update && opt.review) return nothingRan("--update and --review do not go together");
  if (!CollectCases(opt.paths.empty() ? std::vector<std::string>{"."} : opt.paths, cases, error))
    return nothingRan(error);
  for (const std::string& dir : {opt.diffDir, opt.html}) {
    if (dir.empty()) continue;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) return nothingRan("cannot create " + dir + ": " + ec.message());
  }
  removeEarlier();
  const ProgramMacro program = CompileProgramMacro(ExecutablePath("qmt"), opt.macroFile, opt.utf8);
  if (const ProgramFileProblem* fatal = program.source.Fatal()) return nothingRan(ProblemSentence(*fatal));
  for (const std::string& note : program.source.Notes()) PrintError(Utf8ToCp932("note: " + note));
  if (!program.errors.empty()) {
    // The compiler's messages go to the report too, where CI shows them.
    std::string log;
    for (const std::string& e : program.errors)
      for (const std::string& line : SplitLines(e)) {
        PrintError(line);
        if (line.empty()) continue;
        if (!log.empty()) log += "\n";
        log += Cp932ToUtf8(line);
      }
    return nothingRan(program.source.MacroName() + " has errors; no scenario ran", log);
  }
  const CompiledMacro& macro = program.compiled;
  std::printf("testing %s\n", program.source.MacroName().c_str());
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  std::vector<Outcome> outcomes =
      RunAll(cases, macro, opt, [&cases](std::size_t i, const Outcome& o) { Print(cases[i], o); });
  if (opt.review) outcomes = Review(cases, std::move(outcomes), macro, opt);
  std::string countLine;
  if (opt.update) WriteUpdates(cases, outcomes, macro, countLine);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int passed = 0, failed = 0, errors = 0;
  for (const Outcome& o : outcomes) {
    passed += o.status == Outcome::kPassed;
    failed += o.status == Outcome::kFailed;
    errors += o.status == Outcome::kError;
  }
  std::printf("%d passed, %d failed\n", passed, failed + errors);
  if (!countLine.empty()) std::printf("%s\n", countLine.c_str());
  std::fflush(stdout);
  if (!opt.html.empty()) WriteHtmlReport(opt.html, cases, outcomes, seconds, program.source.MacroName());
  if (!opt.junit.empty()) WriteJunit(opt.junit, cases, outcomes, seconds, opt.html);
  return errors > 0 ? 2 : failed > 0 ? 1 : 0;
}

static Command reg(35, [](CLI::App& app) {
  auto* sub = app.add_subcommand("test", "Run scenario files against a macro and check their screens and lines");
  sub->footer(
      "Each scenario starts the macro as a fresh program does and carries out its steps in simulated\n"
      "time (docs/scenarios.md). A folder stands for all *.scn files in it, at any depth; without a\n"
      "path the current folder is searched. One line per scenario, in the order given: PASS name,\n"
      "FAIL name: line N (step): what differs, or ERROR name: what is wrong; then N passed, N failed.\n"
      "A screen check compares the page's colours with the baseline PNG pixel by pixel, except in the\n"
      "rectangles of `ignore` steps. Exit status: 0 when all passed, 1 when one failed, 2 for errors\n"
      "(a bad scenario line, a missing or corrupt file, a bad option, a macro with errors, two checks\n"
      "of one baseline that saw different screens in an update).");
  auto opt = std::make_shared<TestOptions>();
  sub->add_option("PATH", opt->paths, "Scenario files and folders of them")->option_text("FILE|DIR ...");
  sub->add_option("--macro", opt->macroFile,
                  "The macro file (code page 932) to test; otherwise the program's own macro, as qmt run uses:\n"
                  "the macro file qmtsim saves, else the built-in one")
      ->option_text("FILE");
  sub->add_flag("--utf8", opt->utf8, "The --macro file is UTF-8; convert it to code page 932 first");
  sub->add_flag("--update", opt->update,
                "Write the baselines and line files of the checks of the scenarios named anew instead of\n"
                "comparing: one line a written file (new PATH, updated PATH: what changed), then a count;\n"
                "files that stay the same are not written, files that cannot be read are replaced. A file that\n"
                "another scenario of the folder tree, named or not, checks and sees otherwise is not written");
  sub->add_flag("--review", opt->review,
                "Walk through the failing checks one by one and accept (write the baseline) or keep each;\n"
                "the answers a, k or q are read line by line from standard input; at their end, after three\n"
                "unusable ones in a row or on a signal, the rest is kept");
  sub->add_option("--diff-dir", opt->diffDir,
                  "Write NAME-actual.png and NAME-diff.png (the baseline dimmed, differing pixels in magenta,\n"
                  "framed in yellow, ignored rectangles hatched) for a failed screen check, NAME-lines.txt for\n"
                  "a failed lines check; created when missing. The files an earlier run wrote there go first")
      ->option_text("DIR");
  sub->add_option("--junit", opt->junit, "Write a JUnit XML report")->option_text("FILE");
  sub->add_option("--html", opt->html,
                  "Write an HTML report, DIR/index.html: a summary and each failure's baseline, actual and\n"
                  "diff pictures at their own size (a click zooms them), each place that differs marked, or\n"
                  "its lines; it opens offline in any browser. The pictures an earlier run wrote there go first")
      ->option_text("DIR");
  sub->add_option("-j,--jobs", opt->jobs, "Scenarios run at once, in worker processes started once")
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
