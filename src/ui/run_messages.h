// A plain window that keeps every run message and the error log of the last
// compile, standing in for the tool window until that window exists.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "host/simulator.h"

class QListWidget;

namespace qmt {

class RunMessageWindow : public QWidget, public SimMessages {
  Q_OBJECT
 public:
  explicit RunMessageWindow(QWidget* parent = nullptr);

  // The message becomes the caption and the list's last line, and the
  // window comes forward.
  void ShowRunMessage(const std::string& message) override;
  // The compile's error log (code page 932 lines); shown and brought
  // forward when not empty.
  void ShowErrors(const std::vector<std::string>& lines);
  void BringForward();

  QListWidget* List() const { return list_; }

 private:
  QListWidget* list_;
};

}  // namespace qmt
