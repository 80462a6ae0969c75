// TfSens: the sensor panel, one check box per switch input of the pump panel.
// Every click raises "chg" followed by the box's caption one timer period
// later; clicks within one period leave only the last one's event.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

class QCheckBox;

namespace qmt {

class Simulator;

class TfSens : public QWidget {
  Q_OBJECT
 public:
  explicit TfSens(Simulator& sim, QWidget* parent = nullptr);

  // The box of a switch by its index in kSwitches.
  QCheckBox* Box(int index) const { return boxes_[index]; }
  const std::string& PendingEvent() const { return pendingEvent_; }
  QTimer& Timer1() { return timer1_; }
  // Forgets a click whose event has not come yet.
  void CancelPending() {
    timer1_.stop();
    pendingEvent_.clear();
  }

  // Told, for a recording, of each box the user changed and of each event
  // the panel delivers (code page 932).
  std::function<void(int index, bool on)> onBox;
  std::function<void(const std::string& label)> onEvent;

 public slots:
  // The click handler of every box.
  void swPTOClick();
  void Timer1Timer();

 private:
  Simulator& sim_;
  QCheckBox* boxes_[15] = {};
  QTimer timer1_;
  std::string pendingEvent_;  // code page 932
};

}  // namespace qmt
