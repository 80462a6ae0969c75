#include "ui/scenario_review_dialog.h"

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "host/page_pictures.h"
#include "host/scenario.h"
#include "host/scenario_diff.h"
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
  auto* close = new QPushButton(QString::fromUtf8("閉じる"), this);
  buttons->addStretch();
  buttons->addWidget(accept_);
  buttons->addWidget(keep_);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(accept_, &QPushButton::clicked, this, &ScenarioReviewDialog::AcceptCurrent);
  connect(keep_, &QPushButton::clicked, this, &ScenarioReviewDialog::KeepCurrent);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  ShowNext();
}

ScenarioReviewDialog::~ScenarioReviewDialog() = default;

QString ScenarioReviewDialog::Status() const {
  return QString::fromUtf8("受け入れ %1件、そのまま %2件").arg(review_->Accepted()).arg(review_->KeptCount());
}

void ScenarioReviewDialog::AcceptCurrent() {
  if (!shown_) return;
  try {
    review_->Accept();
  } catch (const std::exception& e) {
    where_->setText(where_->text() + "\n" + FileErrorText(e));
    return;
  }
  ShowNext();
}

void ScenarioReviewDialog::KeepCurrent() {
  if (!shown_) return;
  review_->Keep();
  ShowNext();
}

void ScenarioReviewDialog::ShowNext() {
  shown_ = review_->Current();
  for (QLabel* p : pictures_) p->clear();
  lines_->clear();
  if (!shown_) {
    where_->setText(QString::fromUtf8("失敗したチェックはもうありません。") + Status());
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
