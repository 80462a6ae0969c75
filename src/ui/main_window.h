// TFDemo: the simulator's main window.  The display page at the top left,
// the keys in three framed groups under it, the sliders and the check boxes
// in a column on the right.  Every input goes through the Simulator; the
// window only shows and forwards.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>

#include "host/simulator.h"

class QCheckBox;
class QPushButton;
class QSlider;

namespace qmt {

class DisplayView;
class TQMT3308;

class TFDemo : public QMainWindow {
  Q_OBJECT
 public:
  TFDemo(Simulator& sim, TQMT3308& device, QWidget* parent = nullptr);
  // Told of each file a drop opened.
  std::function<void(const QString&)> fileOpened;

  // What Button11 and Button10 show; set by whoever owns those windows.
  std::function<void()> showSensorPanel;
  std::function<void()> showToolWindow;
  // How a refused drop is reported; a message box unless replaced.
  std::function<void(const QString&)> showMessage;

  DisplayView* PaintBox1() const { return paintBox1_; }
  QPushButton* Key(int index) const { return keys_[index]; }
  QSlider* Track(Slider s) const { return tracks_[static_cast<int>(s)]; }
  QCheckBox* CheckRun() const { return checkRun_; }
  QCheckBox* CheckTimer() const { return checkTimer_; }
  QTimer& Timer1() { return timer1_; }
  Simulator& Model() { return sim_; }

  // The first activation compiles the macro and starts it.
  void FormActivate();
  // Handles dropped files: only the first counts.
  void DropFiles(const QStringList& paths);
  void SaveScreenshot(const QString& path);

 public slots:
  void Timer1Timer();

 protected:
  bool event(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QWidget* BuildKeyGroup(const char* caption, std::initializer_list<int> keys);
  QWidget* BuildRightColumn();
  void BuildMenu();
  void ShowCheckRun();

  Simulator& sim_;
  TQMT3308& device_;
  DisplayView* paintBox1_ = nullptr;
  std::array<QPushButton*, 11> keys_{};
  std::array<QSlider*, kSliderCount> tracks_{};
  QCheckBox* checkRun_ = nullptr;
  QCheckBox* checkTimer_ = nullptr;
  QTimer timer1_;
  QElapsedTimer clock_;
};

}  // namespace qmt
