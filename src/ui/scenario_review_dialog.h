// The window's review of failed checks: each failing check of a folder's
// scenarios with its baseline, the page as it was and the difference side
// by side, accepted (the page becomes the baseline) or kept.  The engine is
// the host's ScenarioReview, as qmt test --review uses it.
#pragma once

#include <QDialog>
#include <memory>

#include "host/scenario_review.h"

class QLabel;
class QPushButton;
class QPlainTextEdit;

namespace qmt {

class ScenarioReviewDialog : public QDialog {
  Q_OBJECT
 public:
  ScenarioReviewDialog(std::vector<ScenarioReview::Entry> entries, CompiledMacro macro, QWidget* parent);
  ~ScenarioReviewDialog() override;

  // What the buttons do.
  void AcceptCurrent();
  void KeepCurrent();
  // The check shown, or none when the review is over.
  const ScenarioReview::Item* Shown() const { return shown_; }
  const ScenarioReview& Review() const { return *review_; }
  QString Status() const;

 private:
  void ShowNext();

  CompiledMacro macro_;
  std::unique_ptr<ScenarioReview> review_;
  const ScenarioReview::Item* shown_ = nullptr;
  QLabel* where_ = nullptr;
  QLabel* pictures_[3] = {};
  QPlainTextEdit* lines_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* keep_ = nullptr;
};

}  // namespace qmt
