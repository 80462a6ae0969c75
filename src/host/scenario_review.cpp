#include "host/scenario_review.h"

#include <algorithm>
#include <filesystem>

#include "device/png.h"
#include "host/scenario.h"
#include "host/scenario_update.h"
#include "support/file_io.h"

namespace qmt {

ScenarioReview::ScenarioReview(std::vector<Entry> entries, const CompiledMacro& macro)
    : entries_(std::move(entries)),
      macro_(macro),
      status_(entries_.size(), ScenarioReport::Status::kPassed),
      failure_(entries_.size()),
      run_(entries_.size(), true) {}

const ScenarioReview::Item* ScenarioReview::Current() {
  while (!current_ && next_ < entries_.size() && !Stopped()) {
    const std::size_t i = next_;
    if (!run_[i]) {
      ++next_;
      continue;
    }
    if (progress_) progress_(i);
    ScenarioReport report;
    try {
      ScenarioOptions options;
      options.stop = &stop_;
      report = RunScenario(ReadScenario(entries_[i].file), macro_, options);
    } catch (const std::exception& e) {
      report.status = ScenarioReport::Status::kError;
      report.failure.message = e.what();
    }
    // A scenario stopped half way stands as it stood.
    if (Stopped()) break;
    status_[i] = report.status;
    failure_[i] = report.status == ScenarioReport::Status::kPassed ? "" : FailureText(report.failure);
    if (report.status != ScenarioReport::Status::kFailed) {
      ++next_;
      continue;
    }
    Item item;
    item.index = i;
    const StepResult& f = report.failure;
    item.acceptable = !f.path.empty() && ((f.pictures && !f.actual.empty()) || f.lines);
    item.failure = std::move(report.failure);
    current_ = std::move(item);
  }
  return current_ && !Stopped() ? &*current_ : nullptr;
}

void ScenarioReview::Accept() {
  if (!current_) return;
  if (!current_->acceptable) {
    Keep();
    return;
  }
  const StepResult& f = current_->failure;
  // Every check of the file, in this scenario and in the others of its
  // folder tree, must see what this one saw: otherwise accepting it makes
  // another fail (and accepting that one, this one again).
  const Entry& entry = entries_[current_->index];
  std::vector<TakenWrite> checks = ChecksOfSharedFiles({{entry.file, f.path}}, {}, macro_, &stop_);
  if (Stopped()) return;
  for (TakenWrite& t : checks)
    for (const Entry& e : entries_)
      if (SameFile(t.scenario, e.file)) t.scenario = e.name;
  const auto self = std::find_if(checks.begin(), checks.end(), [&](const TakenWrite& t) {
    return t.scenario == entry.name && t.write.line == f.line;
  });
  if (self != checks.end())
    for (const TakenWrite& t : checks)
      if (t.write.seen != self->write.seen) throw SharedFileDisagrees(f.path, CheckPlace(t));
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(f.path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  WriteFileAtomic(f.path, f.pictures ? EncodePagePng(f.actual.data()) : LinesFileText(f.actualLines));
  ++accepted_;
  // The same scenario again, for its next failing check.
  current_.reset();
}

void ScenarioReview::Keep() {
  if (!current_) return;
  ++kept_;
  current_.reset();
  ++next_;
}

}  // namespace qmt
