#include "ui/window_settings.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "ui/display_view.h"
#include "ui/main_window.h"

namespace qmt {

WindowSettings::WindowSettings(QSettings& store, QObject* parent) : QObject(parent), store_(store) {}

void WindowSettings::Restore(TFDemo& window) const {
  const int zoom = store_.value("window/zoom", 1).toInt();
  if (zoom >= 2 && zoom <= 3) window.SetZoom(zoom);
  const QByteArray geometry = store_.value("window/geometry").toByteArray();
  if (!geometry.isEmpty()) window.restoreGeometry(geometry);
}

void WindowSettings::Save(const TFDemo& window) {
  store_.setValue("window/geometry", window.saveGeometry());
  store_.setValue("window/zoom", window.PaintBox1()->Zoom());
  store_.sync();
}

void WindowSettings::SaveOnClose(TFDemo& window) { window.installEventFilter(this); }

bool WindowSettings::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    if (auto* window = qobject_cast<TFDemo*>(watched)) Save(*window);
  }
  return QObject::eventFilter(watched, event);
}

QStringList WindowSettings::RecentFiles() const {
  QStringList files = store_.value("files/recent").toStringList();
  files.removeAll(QString());
  files.removeDuplicates();
  return files.mid(0, kRecentFiles);
}

void WindowSettings::AddRecentFile(const QString& path) {
  if (path.isEmpty()) return;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList files = RecentFiles();
  files.removeAll(absolute);
  files.prepend(absolute);
  store_.setValue("files/recent", files.mid(0, kRecentFiles));
  store_.sync();
}

void WindowSettings::AddFileMenu(TFDemo& window) {
  QMenuBar* bar = window.menuBar();
  auto* file = new QMenu("ファイル(&F)", bar);
  const QList<QAction*> existing = bar->actions();
  bar->insertMenu(existing.isEmpty() ? nullptr : existing.first(), file);
  recentMenu_ = file->addMenu("最近使ったファイル(&R)");
  recentMenu_->setObjectName("menuRecentFiles");
  connect(recentMenu_, &QMenu::aboutToShow, this, [this, &window] { FillRecentMenu(window); });
  FillRecentMenu(window);
  file->addSeparator();
  QAction* quit = file->addAction("終了(&X)");
  quit->setShortcut(QKeySequence::Quit);
  connect(quit, &QAction::triggered, &window, &QWidget::close);
}

void WindowSettings::FillRecentMenu(TFDemo& window) {
  recentMenu_->clear();
  const QStringList files = RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QAction* a = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(path));
    connect(a, &QAction::triggered, &window, [this, &window, path] {
      AddRecentFile(path);
      window.DropFiles({path});
    });
  }
  if (files.isEmpty()) recentMenu_->addAction("(なし)")->setEnabled(false);
}

}  // namespace qmt
