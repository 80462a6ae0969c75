// TFDemo: the simulator's main window.  The display page at the top left,
// the keys in three framed groups under it, the sliders and the check boxes
// in a column on the right.  Every input goes through the Simulator; the
// window only shows and forwards.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>

#include "host/simulator.h"

class QCheckBox;
class QScrollArea;
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
  // The system's millisecond counter read by the timer (time since boot).
  std::function<std::uint64_t()> millisecondCounter;
  // Told of every input as it reaches the model, for a recording: a key by
  // its index in kKeys, a slider's new position, the timer box, and each
  // tick with the step it added to the clocks (10 ms units) and the time.
  std::function<void(int key)> onKey;
  std::function<void(Slider slider, int position)> onSlider;
  std::function<void(bool on)> onTimerBox;
  std::function<void(int step, std::uint64_t ms)> onTick;

  DisplayView* PaintBox1() const { return paintBox1_; }
  QPushButton* Key(int index) const { return keys_[index]; }
  QSlider* Track(Slider s) const { return tracks_[static_cast<int>(s)]; }
  QCheckBox* CheckRun() const { return checkRun_; }
  QCheckBox* CheckTimer() const { return checkTimer_; }
  QTimer& Timer1() { return timer1_; }
  // The clock of its ticks, in milliseconds (millisecondCounter).
  std::uint64_t ClockMs() const { return millisecondCounter(); }
  Simulator& Model() { return sim_; }

  // The first activation compiles the macro and starts it.
  void FormActivate();
  // Handles dropped files: only the first counts.
  void DropFiles(const QStringList& paths);
  void SaveScreenshot(const QString& path);
  // 1, 2 or 3 times the page size; the window fits the screen, and the
  // display scrolls when the page does not.
  void SetZoom(int zoom);
  QScrollArea* DisplayArea() const { return displayArea_; }

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
  void FitToScreen();

  Simulator& sim_;
  TQMT3308& device_;
  DisplayView* paintBox1_ = nullptr;
  QList<QAction*> zoomActions_;  // the View menu's 1x, 2x, 3x
  std::array<QPushButton*, 11> keys_{};
  std::array<QSlider*, kSliderCount> tracks_{};
  QCheckBox* checkRun_ = nullptr;
  QCheckBox* checkTimer_ = nullptr;
  QTimer timer1_;
  QScrollArea* displayArea_ = nullptr;
};

}  // namespace qmt
