// qmt test --review: the failing checks one by one, each accepted or kept.
// Answers come line by line from standard input, a terminal or not; when
// they run out, the rest is kept.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "device/png.h"
#include "host/page_pictures.h"
#include "host/scenario.h"
#include "host/scenario_review.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "test_run.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

enum class Answer { kAccept, kKeep, kQuit, kNone };

Answer Ask(bool acceptable) {
  while (true) {
    std::printf(acceptable ? "accept (a), keep (k) or quit (q)? " : "keep (k) or quit (q)? ");
    std::fflush(stdout);
    char buffer[256];
    if (!std::fgets(buffer, sizeof buffer, stdin)) {
      std::printf("\n");
      return Answer::kNone;
    }
    std::string a(buffer);
    while (!a.empty() && (a.back() == '\n' || a.back() == '\r' || a.back() == ' ')) a.pop_back();
    // Answers from a pipe or a file are shown, so that the output reads
    // as a terminal session does.
    if (!isatty(STDIN_FILENO)) std::printf("%s\n", MessageText(a).c_str());
    if (acceptable && (a == "a" || a == "accept" || a == "y" || a == "yes")) return Answer::kAccept;
    if (a == "k" || a == "keep" || a == "n" || a == "no") return Answer::kKeep;
    if (a == "q" || a == "quit") return Answer::kQuit;
    std::printf("'%s' is no answer here\n", MessageText(a).c_str());
  }
}

void ShowPictures(const StepResult& f, const std::string& base) {
  std::error_code ec;
  fs::create_directories(fs::path(base).parent_path(), ec);
  std::printf("  baseline: %s\n", f.haveBaseline ? f.path.c_str() : "(none)");
  WriteFileAtomic(base + "-actual.png", EncodeRgbPng(PagePicture(f.actual.data())));
  std::printf("  actual:   %s-actual.png\n", base.c_str());
  if (f.haveBaseline) {
    WriteFileAtomic(base + "-diff.png", EncodeRgbPng(DiffPicture(f.actual.data(), f.baseline, f.ignored)));
    std::printf("  diff:     %s-diff.png\n", base.c_str());
  }
}

void ShowLines(const StepResult& f) {
  std::vector<DiffLine> diff = LineDiff(f.expectedLines, f.actualLines);
  int shown = 0;
  std::size_t same = 0;
  for (std::size_t i = 0; i < diff.size(); ++i) {
    // Three lines around each difference, at most 60 in all.
    bool near = false;
    for (std::size_t k = i >= 3 ? i - 3 : 0; k < std::min(diff.size(), i + 4); ++k) near |= diff[k].op != ' ';
    if (!near) {
      ++same;
      continue;
    }
    if (same) std::printf("  ... %zu lines the same\n", same);
    same = 0;
    if (++shown > 60) {
      std::printf("  ... and more\n");
      return;
    }
    std::printf("  %c %s\n", diff[i].op, Cp932ToUtf8(diff[i].text).c_str());
  }
  if (same) std::printf("  ... %zu lines the same\n", same);
}

}  // namespace

std::vector<Outcome> Review(const std::vector<Case>& cases, std::vector<Outcome> outcomes, const CompiledMacro& macro,
                            const TestOptions& opt) {
  std::vector<ScenarioReview::Entry> entries;
  std::vector<bool> failing;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    entries.push_back({cases[i].name, cases[i].file});
    failing.push_back(outcomes[i].status == Outcome::kFailed);
  }
  ScenarioReview review(std::move(entries), macro);
  review.SetOnlyThese(failing);
  // The pictures go where --diff-dir says, else into a folder of their own
  // that is removed afterwards.
  std::string dir = opt.diffDir;
  bool temporary = false;
  if (dir.empty()) {
    std::string pattern = (fs::temp_directory_path() / "qmt-review-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw FileError("cannot make a folder for the review's pictures");
    dir = pattern;
    temporary = true;
  }
  std::printf("review of the failing checks\n");
  bool answering = true;
  while (const ScenarioReview::Item* item = review.Current()) {
    const Case& c = cases[item->index];
    const StepResult& f = item->failure;
    std::printf("FAIL %s: %s\n", c.name.c_str(), FailureText(f).c_str());
    if (f.pictures) ShowPictures(f, (fs::path(dir) / PathBelow(c.name)).string());
    if (f.lines) ShowLines(f);
    if (!item->acceptable) std::printf("  (not a check of a file: the scenario itself says what it expects)\n");
    Answer a = answering ? Ask(item->acceptable) : Answer::kKeep;
    if (a == Answer::kNone) {
      std::printf("no more answers: the rest is kept\n");
      answering = false;
    } else if (a == Answer::kQuit) {
      std::printf("the rest is kept\n");
      answering = false;
    }
    if (a == Answer::kAccept) {
      const std::string path = f.path;
      try {
        review.Accept();
        std::printf("accepted: wrote %s\n", path.c_str());
      } catch (const std::exception& e) {
        std::printf("cannot write: %s\n", e.what());
        review.Keep();
      }
    } else {
      review.Keep();
    }
    std::fflush(stdout);
  }
  std::printf("%d accepted, %d kept\n", review.Accepted(), review.KeptCount());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (!failing[i]) continue;
    Outcome& o = outcomes[i];
    switch (review.StatusOf(i)) {
      case ScenarioReport::Status::kPassed: o.status = Outcome::kPassed; break;
      case ScenarioReport::Status::kFailed: o.status = Outcome::kFailed; break;
      case ScenarioReport::Status::kError: o.status = Outcome::kError; break;
    }
    if (o.status != Outcome::kPassed) o.text = review.FailureOf(i);
    std::printf("%s %s%s\n", o.status == Outcome::kPassed ? "PASS" : o.status == Outcome::kFailed ? "FAIL" : "ERROR",
                cases[i].name.c_str(), o.status == Outcome::kPassed ? "" : (": " + o.text).c_str());
  }
  std::fflush(stdout);
  if (temporary) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  return outcomes;
}

}  // namespace qmt::cli
