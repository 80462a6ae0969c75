// qmt test's parts: the scenarios found, running them (in this process or
// in workers started once), and what each came to, for the report lines,
// the JUnit and HTML reports and the review.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/scenario_diff.h"
#include "host/scenario_machine.h"

namespace qmt::cli {

struct TestOptions {
  std::vector<std::string> paths;
  std::string macroFile;
  bool utf8 = false;
  bool update = false;
  bool review = false;
  std::string diffDir;
  std::string junit;
  std::string html;
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
  std::string text;  // after "FAIL name: " or "ERROR name: "
  std::string detail;  // more of an error for the JUnit report (a compiler's messages)
  std::vector<std::string> warnings;
  std::vector<BaselineWrite> writes;  // what an update took
  double seconds = 0;
  // For the HTML report: the failed step and what it showed.
  int line = 0;
  std::string step;
  std::string message;
  std::vector<std::string> pictures;  // baseline, actual, diff: paths below the report's folder ("" when none)
  std::vector<DiffLine> lines;        // a failed lines check, around its differences (op '@': lines left out)
  std::vector<PageRect> marks;        // where the pages differ, to mark on the pictures
};

// The scenarios named on the command line: a file as it is, a folder's
// *.scn files at any depth in name order.  False with a message for a path
// that is missing or a folder without scenarios.
bool CollectCases(const std::vector<std::string>& paths, std::vector<Case>& cases, std::string& error);

// Runs one scenario; writes the pictures of a failed check for --diff-dir
// and --html.
Outcome RunCase(const Case& c, const CompiledMacro& macro, const TestOptions& opt);

// Runs the cases, `opt.jobs` at once, and calls `done` for each outcome in
// the order of the cases, as soon as all before it are done.
std::vector<Outcome> RunAll(const std::vector<Case>& cases, const CompiledMacro& macro, const TestOptions& opt,
                            const std::function<void(std::size_t, const Outcome&)>& done);

// A case's name as a path below a report folder: root and ".." parts left
// out, so that nothing is written outside it.
std::string PathBelow(const std::string& name);

void WriteJunit(const std::string& path, const std::vector<Case>& cases, const std::vector<Outcome>& outcomes,
                double seconds, const std::string& html = "");
void WriteHtmlReport(const std::string& dir, const std::vector<Case>& cases, const std::vector<Outcome>& outcomes,
                     double seconds, const std::string& macroName);
// The anchor of a case in the HTML report.
std::string HtmlAnchor(std::size_t index);

// Walks through the failing checks of `cases` one by one (their outcomes
// given), asking on standard input to accept (write the baseline) or keep
// each.  Returns the outcomes after the review.
std::vector<Outcome> Review(const std::vector<Case>& cases, std::vector<Outcome> outcomes, const CompiledMacro& macro,
                            const TestOptions& opt);

}  // namespace qmt::cli
