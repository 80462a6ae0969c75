// qmt test --review: the failing checks one by one, each accepted or kept.
// Answers come line by line from standard input, a terminal or not; when
// they run out, after a few unusable ones in a row, or on a signal, the
// rest is kept.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>

#include "device/png.h"
#include "host/page_pictures.h"
#include "host/scenario.h"
#include "host/scenario_review.h"
#include "host/scenario_update.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "test_run.h"

namespace qmt::cli {
namespace {

namespace fs = std::filesystem;

// A signal that ends the review (an interrupt, a hang-up, a closed output)
// stops the scenario running and the question asked, so that the review
// cleans up as it does at its end, and is raised again afterwards.
volatile std::sig_atomic_t endingSignal = 0;
ScenarioReview* signalled = nullptr;

void OnSignal(int sig) {
  endingSignal = sig;
  if (signalled) signalled->Stop();
}

enum class Answer { kAccept, kKeep, kQuit, kNone, kUnusable };

// Unusable answers in a row after which the review stops asking.
constexpr int kUnusableAnswers = 3;

// One answer for the check shown.  An accept aimed at a check that cannot
// be accepted is that check's answer all the same (it is kept), so that a
// list of answers stays in step with the checks.
Answer Ask(bool acceptable) {
  for (int tries = 0; tries < kUnusableAnswers && !endingSignal; ++tries) {
    std::printf(acceptable ? "accept (a), keep (k) or quit (q)? " : "keep (k) or quit (q)? ");
    std::fflush(stdout);
    char buffer[256];
    if (!std::fgets(buffer, sizeof buffer, stdin)) {
      std::printf("\n");
      return Answer::kNone;
    }
    std::string a(buffer);
    // The rest of an overlong line is part of this one answer.
    while (!a.empty() && a.back() != '\n' && std::fgets(buffer, sizeof buffer, stdin)) a += buffer;
    while (!a.empty() && (a.back() == '\n' || a.back() == '\r' || a.back() == ' ')) a.pop_back();
    // Answers from a pipe or a file are shown, so that the output reads
    // as a terminal session does.
    if (!isatty(STDIN_FILENO)) std::printf("%s\n", MessageText(a).c_str());
    if (a == "a" || a == "accept" || a == "y" || a == "yes") {
      if (acceptable) return Answer::kAccept;
      std::printf("this check cannot be accepted: kept\n");
      return Answer::kKeep;
    }
    if (a == "k" || a == "keep" || a == "n" || a == "no") return Answer::kKeep;
    if (a == "q" || a == "quit") return Answer::kQuit;
    std::printf("'%s' is no answer here\n", MessageText(a).c_str());
  }
  return Answer::kUnusable;
}

class SignalsEndReview {
 public:
  explicit SignalsEndReview(ScenarioReview& review) {
    endingSignal = 0;
    signalled = &review;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a question waiting for input returns
    // A signal ignored when the program started (nohup, a background job)
    // stays ignored.
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      if (sigaction(kSignals[i], nullptr, &old_[i]) == 0 && old_[i].sa_handler != SIG_IGN)
        sigaction(kSignals[i], &action, nullptr);
  }
  ~SignalsEndReview() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &old_[i], nullptr);
    signalled = nullptr;
  }
  SignalsEndReview(const SignalsEndReview&) = delete;
  SignalsEndReview& operator=(const SignalsEndReview&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
  struct sigaction old_[std::size(kSignals)] {};
};

// The review's own folder for its pictures, removed however the review ends.
struct TemporaryFolder {
  std::string path;
  ~TemporaryFolder() {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

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
  TemporaryFolder temporary;
  if (dir.empty()) {
    std::string pattern = (fs::temp_directory_path() / "qmt-review-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw FileError("cannot make a folder for the review's pictures");
    dir = temporary.path = pattern;
  }
  std::optional<SignalsEndReview> signals;
  signals.emplace(review);
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
    if (endingSignal) break;
    if (a == Answer::kNone) {
      std::printf("no more answers: the rest is kept\n");
      answering = false;
    } else if (a == Answer::kUnusable) {
      std::printf("no usable answer: the rest is kept\n");
      answering = false;
    } else if (a == Answer::kQuit) {
      std::printf("the rest is kept\n");
      answering = false;
    }
    if (a == Answer::kAccept) {
      const std::string path = f.path;
      try {
        review.Accept();
        if (endingSignal) break;
        std::printf("accepted: wrote %s\n", path.c_str());
      } catch (const SharedFileDisagrees& e) {
        std::printf("not accepted: %s\n", e.what());
        review.Keep();
      } catch (const std::exception& e) {
        std::printf("cannot write: %s\n", e.what());
        review.Keep();
      }
    } else {
      review.Keep();
    }
    std::fflush(stdout);
  }
  if (endingSignal) std::printf("\nstopped by signal %d: the rest is kept\n", static_cast<int>(endingSignal));
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
  // A signal ends the program as it would have without the review, once
  // the review's folder is gone.
  if (const int sig = endingSignal) {
    signals.reset();
    fs::path folder = temporary.path;
    temporary.path.clear();
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  return outcomes;
}

}  // namespace qmt::cli
