// The window's review of failed checks: each failing check of a folder's
// scenarios with its baseline, the page as it was and the difference side
// by side, accepted (the page becomes the baseline) or kept.  The engine is
// the host's ScenarioReview, as qmt test --review uses it.  The scenarios
// run on a thread of the dialog's own, so that the window stays usable
// while a long suite runs; the dialog shows how far it is and can stop it.
#pragma once

#include <QDialog>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "host/scenario_review.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QPlainTextEdit;

namespace qmt {

class ScenarioReviewDialog : public QDialog {
  Q_OBJECT
 public:
  ScenarioReviewDialog(std::vector<ScenarioReview::Entry> entries, CompiledMacro macro, QWidget* parent);
  ~ScenarioReviewDialog() override;

  // What the buttons do.  Accept and keep do nothing while scenarios run.
  void AcceptCurrent();
  void KeepCurrent();
  // Stops the scenarios running; the review ends there.
  void StopRunning();
  // Whether scenarios are running now, to find the next failing check.
  bool Running() const { return running_; }
  // The check shown, or none (while scenarios run, or when the review is
  // over).
  const ScenarioReview::Item* Shown() const { return shown_; }
  const ScenarioReview& Review() const { return *review_; }
  QString Status() const;

 protected:
  // Closing the dialog, or Escape, ends the review.
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  // Runs `work` on the dialog's thread and then shows the check found.
  void RunInBackground(std::function<void()> work);
  void WorkDone(std::exception_ptr error);
  void ShowProgress(std::size_t index);
  void ShowCurrent();
  void ThreadLoop();

  CompiledMacro macro_;
  std::unique_ptr<ScenarioReview> review_;
  const ScenarioReview::Item* shown_ = nullptr;
  const ScenarioReview::Item* found_ = nullptr;  // what the thread's work found
  bool running_ = false;
  QLabel* where_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* pictures_[3] = {};
  QPlainTextEdit* lines_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* keep_ = nullptr;
  QPushButton* stop_ = nullptr;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::function<void()> job_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace qmt
