#include "ui/run_messages.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "support/encoding.h"
#include "ui/cp932_text.h"

namespace qmt {

RunMessageWindow::RunMessageWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QString::fromUtf8("マクロ"));
  // Closing the main window ends the program even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  list_ = new QListWidget;
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(list_);
  resize(520, 240);
}

void RunMessageWindow::ShowRunMessage(const std::string& message) {
  QString text = FromCp932(message);
  setWindowTitle(text);
  list_->addItem(text);
  list_->scrollToBottom();
  BringForward();
}

void RunMessageWindow::ShowErrPage() {
  HeadlessToolWindow::ShowErrPage();
  setWindowTitle(QString::fromUtf8("Err"));
  for (const auto& l : ErrLog()) list_->addItem(FromCp932(l));
  list_->scrollToBottom();
  BringForward();
}

void RunMessageWindow::BringForward() {
  show();
  raise();
  activateWindow();
}

}  // namespace qmt
