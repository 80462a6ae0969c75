// What the simulator window keeps between starts: its size and position,
// the display's zoom and the files opened last.  Kept with QSettings, in
// the configuration folder (~/.config/qmt3308/qmtsim.conf).
#pragma once

#include <QObject>
#include <QStringList>

class QMenu;
class QSettings;

namespace qmt {

class TFDemo;

class WindowSettings : public QObject {
  Q_OBJECT
 public:
  static constexpr int kRecentFiles = 8;

  // `store` outlives this object.
  explicit WindowSettings(QSettings& store, QObject* parent = nullptr);

  // Zoom first, then the geometry, so the saved size wins over the size
  // the zoom asks for.
  void Restore(TFDemo& window) const;
  void Save(const TFDemo& window);
  // Saves whenever `window` closes.
  void SaveOnClose(TFDemo& window);

  // Most recent first, without duplicates, at most kRecentFiles.
  QStringList RecentFiles() const;
  void AddRecentFile(const QString& path);

  // Adds the File menu with "最近使ったファイル" before the window's other
  // menus; choosing a file opens it as a drop on the window does.
  void AddFileMenu(TFDemo& window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillRecentMenu(TFDemo& window);

  QSettings& store_;
  QMenu* recentMenu_ = nullptr;
};

}  // namespace qmt
