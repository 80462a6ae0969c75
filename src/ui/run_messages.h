// A plain window that keeps every run message and the error log of the last
// compile, standing in for the tool window where that window is not used:
// the data module's lists are kept as the headless tool keeps them, and the
// window shows the messages.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "host/data_module.h"
#include "host/simulator.h"

class QListWidget;

namespace qmt {

class RunMessageWindow : public QWidget, public SimMessages, public HeadlessToolWindow {
  Q_OBJECT
 public:
  explicit RunMessageWindow(QWidget* parent = nullptr);

  // The message becomes the caption and the list's last line, and the
  // window comes forward.
  void ShowRunMessage(const std::string& message) override;
  // The error log of the last compile comes forward in the list.
  void ShowErrPage() override;
  void BringForward();

  QListWidget* List() const { return list_; }

 private:
  QListWidget* list_;
};

}  // namespace qmt
