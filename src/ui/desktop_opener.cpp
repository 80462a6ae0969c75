// The shell's "Open" verb on Linux: xdg-open, watched so that a file no
// program takes is reported instead of failing silently.
#include <QFileInfo>
#include <QProcess>

#include "ui/scr_tool.h"

namespace qmt {

namespace {

class XdgOpener : public ShellOpener {
 public:
  explicit XdgOpener(QObject* parent) : parent_(parent) {}
  void Open(const std::string& path, std::function<void(const QString&)> failed) override {
    // xdg-open hands the file to the desktop's program for it and says by
    // its exit status when there is none.
    auto* process = new QProcess(parent_);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError e) {
      if (e == QProcess::FailedToStart) {
        failed(QString::fromUtf8("xdg-open がありません（xdg-utils をインストールしてください）"));
        process->deleteLater();
      }
    });
    QObject::connect(process, &QProcess::finished, process, [process, failed](int code, QProcess::ExitStatus status) {
      process->deleteLater();
      if (status != QProcess::NormalExit) {
        failed(QString::fromUtf8("xdg-open が異常終了しました"));
      } else if (code == 3) {
        failed(QString::fromUtf8("このファイルを開くプログラムが見つかりません"));
      } else if (code != 0) {
        failed(QString::fromUtf8("開くプログラムが失敗しました（xdg-open の終了コード %1）").arg(code));
      }
    });
    process->start("xdg-open", {QFileInfo(QString::fromStdString(path)).absoluteFilePath()});
  }

 private:
  QObject* parent_;
};

}  // namespace

std::shared_ptr<ShellOpener> DesktopOpener(QObject* parent) { return std::make_shared<XdgOpener>(parent); }

}  // namespace qmt
