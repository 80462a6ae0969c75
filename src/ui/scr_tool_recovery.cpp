// TfScrTool: the editor's text kept aside against a crash, and offered back
// at the next start.
#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <Qsci/qsciscintilla.h>

#include "support/encoding.h"
#include "support/file_io.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"
#include "ui/cp932_text.h"

namespace qmt {

void TfScrTool::EnableRecovery(const std::string& path, int intervalMs) {
  recovery_ = std::make_unique<EditorRecovery>(path);
  if (!recoveryTimer_) {
    recoveryTimer_ = new QTimer(this);
    connect(recoveryTimer_, &QTimer::timeout, this, &TfScrTool::KeepEditorAside);
    // Only a clean end of the program drops the text kept aside; a crash
    // never gets here.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
      if (recovery_) recovery_->Discard();
    });
  }
  if (!recoveryPrompt) {
    recoveryPrompt = [this](const QString& when) {
      QMessageBox box(QMessageBox::Question, FromCp932(Sjis("マクロの復元")),
                      FromCp932(Sjis("保存されないまま終わったマクロの編集内容が残っています（")) + when +
                          FromCp932(Sjis("）。\n復元しますか？")),
                      QMessageBox::NoButton, isVisible() ? this : nullptr);
      QPushButton* restore = box.addButton(FromCp932(Sjis("復元する")), QMessageBox::AcceptRole);
      box.addButton(FromCp932(Sjis("破棄する")), QMessageBox::RejectRole);
      box.setDefaultButton(restore);
      box.exec();
      return box.clickedButton() == restore;
    };
  }
  recoveryTimer_->start(intervalMs);
}

void TfScrTool::KeepEditorAside() {
  if (!recovery_) return;
  try {
    if (Editor1->Modified()) {
      recovery_->Keep(Editor1->Text()->text().toStdString());
    } else {
      recovery_->Discard();
    }
    recoveryFailed_ = false;
  } catch (const std::exception& e) {
    // Once, not at every tick: the user may be typing.
    if (!recoveryFailed_) ReportError(Sjis("編集中のマクロを退避できません: ") + e.what());
    recoveryFailed_ = true;
  }
}

bool TfScrTool::OfferRecovery() {
  if (!recovery_) return false;
  const std::optional<std::string> left = recovery_->Left();
  if (!left) return false;
  const QString text = QString::fromStdString(*left);
  if (text == Editor1->Text()->text()) {
    recovery_->Discard();
    return false;
  }
  const QString when =
      QFileInfo(QString::fromStdString(recovery_->Path())).lastModified().toString("yyyy-MM-dd HH:mm:ss");
  if (!recoveryPrompt || !recoveryPrompt(when)) {
    recovery_->Discard();
    return false;
  }
  show();
  raise();
  PageControl1->setCurrentWidget(TabMacro);
  // Put in as typing would be: the macro file is unchanged, so the text is
  // modified and stays kept aside until it is saved.
  Editor1->Text()->setText(text);
  Editor1->setFocus();
  KeepEditorAside();
  return true;
}

}  // namespace qmt
