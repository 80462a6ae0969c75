#include "ui/scenario_review_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "host/page_pictures.h"
#include "host/scenario.h"
#include "host/scenario_diff.h"
#include "host/scenario_update.h"
#include "support/encoding.h"
#include "ui/file_messages.h"

namespace qmt {
namespace {

QPixmap Pixmap(const RgbImage& picture) {
  QImage image(picture.rgb.data(), picture.width, picture.height, picture.width * 3, QImage::Format_RGB888);
  return QPixmap::fromImage(image.scaled(320, 240, Qt::KeepAspectRatio, Qt::FastTransformation));
}

}  // namespace

ScenarioReviewDialog::ScenarioReviewDialog(std::vector<ScenarioReview::Entry> entries, CompiledMacro macro,
                                           QWidget* parent)
    : QDialog(parent), macro_(std::move(macro)) {
  review_ = std::make_unique<ScenarioReview>(std::move(entries), macro_);
  setWindowTitle(QString::fromUtf8("失敗したチェックの確認"));
  auto* layout = new QVBoxLayout(this);
  where_ = new QLabel(this);
  where_->setWordWrap(true);
  where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(where_);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, static_cast<int>(review_->Entries().size()));
  progress_->setFormat(QString::fromUtf8("%v / %m"));
  layout->addWidget(progress_);
  auto* row = new QHBoxLayout;
  const char* captions[3] = {"期待値", "実際の画面", "差分"};
  for (int i = 0; i < 3; ++i) {
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel(QString::fromUtf8(captions[i]), this));
    pictures_[i] = new QLabel(this);
    pictures_[i]->setFixedSize(320, 240);
    pictures_[i]->setFrameShape(QFrame::Box);
    column->addWidget(pictures_[i]);
    row->addLayout(column);
  }
  layout->addLayout(row);
  lines_ = new QPlainTextEdit(this);
  lines_->setReadOnly(true);
  lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  layout->addWidget(lines_);
  auto* buttons = new QHBoxLayout;
  accept_ = new QPushButton(QString::fromUtf8("受け入れる"), this);
  keep_ = new QPushButton(QString::fromUtf8("そのまま"), this);
  stop_ = new QPushButton(QString::fromUtf8("中止"), this);
  auto* close = new QPushButton(QString::fromUtf8("閉じる"), this);
  buttons->addStretch();
  buttons->addWidget(accept_);
  buttons->addWidget(keep_);
  buttons->addWidget(stop_);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(accept_, &QPushButton::clicked, this, &ScenarioReviewDialog::AcceptCurrent);
  connect(keep_, &QPushButton::clicked, this, &ScenarioReviewDialog::KeepCurrent);
  connect(stop_, &QPushButton::clicked, this, &ScenarioReviewDialog::StopRunning);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  // Called on the thread: the label follows on the window's thread.
  review_->SetProgress([this](std::size_t index) {
    QMetaObject::invokeMethod(this, [this, index] { ShowProgress(index); }, Qt::QueuedConnection);
  });
  thread_ = std::thread([this] { ThreadLoop(); });
  RunInBackground([this] { found_ = review_->Current(); });
}

ScenarioReviewDialog::~ScenarioReviewDialog() {
  review_->Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void ScenarioReviewDialog::ThreadLoop() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || job_; });
      if (quit_) return;
      job.swap(job_);
    }
    job();
  }
}

void ScenarioReviewDialog::RunInBackground(std::function<void()> work) {
  running_ = true;
  shown_ = nullptr;
  accept_->setEnabled(false);
  keep_->setEnabled(false);
  stop_->setEnabled(true);
  where_->setText(QString::fromUtf8("シナリオを実行しています…"));
  progress_->setVisible(true);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = [this, work = std::move(work)] {
      std::exception_ptr error;
      try {
        work();
      } catch (...) {
        error = std::current_exception();
      }
      QMetaObject::invokeMethod(this, [this, error] { WorkDone(error); }, Qt::QueuedConnection);
    };
  }
  wake_.notify_one();
}

void ScenarioReviewDialog::WorkDone(std::exception_ptr error) {
  running_ = false;
  stop_->setEnabled(false);
  progress_->setVisible(false);
  shown_ = found_;
  ShowCurrent();
  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const SharedFileDisagrees& e) {
      where_->setText(where_->text() + "\n" +
                      QString::fromUtf8("「%1」は %2 も確かめていて、違う内容を見ています。受け入れるとそちらが失敗するので、受け入れませんでした")
                          .arg(QString::fromStdString(e.Path()), QString::fromStdString(e.Other())));
    } catch (const std::exception& e) {
      where_->setText(where_->text() + "\n" + FileErrorText(e));
    }
  }
}

void ScenarioReviewDialog::ShowProgress(std::size_t index) {
  if (!running_ || index >= review_->Entries().size()) return;
  progress_->setValue(static_cast<int>(index) + 1);
  where_->setText(QString::fromUtf8("シナリオを実行しています: %1")
                      .arg(QString::fromStdString(review_->Entries()[index].name)));
}

void ScenarioReviewDialog::StopRunning() { review_->Stop(); }

void ScenarioReviewDialog::closeEvent(QCloseEvent* event) {
  review_->Stop();
  QDialog::closeEvent(event);
}

void ScenarioReviewDialog::reject() {
  review_->Stop();
  QDialog::reject();
}

QString ScenarioReviewDialog::Status() const {
  return QString::fromUtf8("受け入れ %1件、そのまま %2件").arg(review_->Accepted()).arg(review_->KeptCount());
}

void ScenarioReviewDialog::AcceptCurrent() {
  if (!shown_ || running_) return;
  // A file that cannot be written leaves the check shown, with why.
  RunInBackground([this] {
    std::exception_ptr error;
    try {
      review_->Accept();
    } catch (...) {
      error = std::current_exception();
    }
    found_ = review_->Current();
    if (error) std::rethrow_exception(error);
  });
}

void ScenarioReviewDialog::KeepCurrent() {
  if (!shown_ || running_) return;
  review_->Keep();
  RunInBackground([this] { found_ = review_->Current(); });
}

void ScenarioReviewDialog::ShowCurrent() {
  for (QLabel* p : pictures_) p->clear();
  lines_->clear();
  if (!shown_) {
    where_->setText((review_->Stopped() ? QString::fromUtf8("中止しました。")
                                        : QString::fromUtf8("失敗したチェックはもうありません。")) +
                    Status());
    accept_->setEnabled(false);
    keep_->setEnabled(false);
    lines_->setVisible(false);
    return;
  }
  const StepResult& f = shown_->failure;
  const ScenarioReview::Entry& e = review_->Entries()[shown_->index];
  where_->setText(QString::fromStdString("FAIL " + e.name + ": " + FailureText(f)) +
                  (shown_->acceptable ? QString() : QString::fromUtf8("\n（ファイルのチェックではないので受け入れられません）")));
  accept_->setEnabled(shown_->acceptable);
  keep_->setEnabled(true);
  if (f.pictures) {
    if (f.haveBaseline) pictures_[0]->setPixmap(Pixmap(f.baseline));
    pictures_[1]->setPixmap(Pixmap(PagePicture(f.actual.data())));
    if (f.haveBaseline) pictures_[2]->setPixmap(Pixmap(DiffPicture(f.actual.data(), f.baseline, f.ignored)));
  }
  lines_->setVisible(f.lines);
  if (f.lines) {
    QString text;
    for (const DiffLine& d : LineDiff(f.expectedLines, f.actualLines))
      text += QChar(d.op) + QString(" ") + QString::fromStdString(Cp932ToUtf8(d.text)) + "\n";
    lines_->setPlainText(text);
  }
}

}  // namespace qmt
