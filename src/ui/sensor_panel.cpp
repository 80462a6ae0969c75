#include "ui/sensor_panel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "host/simulator.h"
#include "support/encoding.h"

namespace qmt {

TfSens::TfSens(Simulator& sim, QWidget* parent) : QWidget(parent, Qt::Tool), sim_(sim) {
  setWindowTitle("fSens");
  for (int i = 0; i < kSwitchCount; ++i) {
    boxes_[i] = new QCheckBox(QString::fromLatin1(kSwitches[i].caption));
    boxes_[i]->setObjectName(kSwitches[i].control);
    boxes_[i]->setProperty("switchIndex", i);
    connect(boxes_[i], &QCheckBox::toggled, this, [this, i](bool on) {
      if (onBox) onBox(i, on);
      sim_.SetSwitch(i, on);
    });
  }
  auto box = [this](const char* caption) {
    return boxes_[Simulator::SwitchByCaption(caption)];
  };

  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(QString::fromUtf8("開閉")));
  for (const char* c : {"PTO", "SFT1", "SFT2", "SFT3"}) left->addWidget(box(c));
  left->addSpacing(8);
  left->addWidget(new QLabel(QString::fromUtf8("冷却水")));
  left->addWidget(box("SCW1"));
  left->addStretch();

  auto* grOut = new QGroupBox(QString::fromUtf8("放口"));
  grOut->setObjectName("GrOut");
  auto* out = new QGridLayout(grOut);
  out->addWidget(box("SBOutl"), 0, 0, 1, 2, Qt::AlignHCenter);
  out->addWidget(box("SLOut1"), 1, 0);
  out->addWidget(box("SLOut2"), 2, 0);
  out->addWidget(box("SROut1"), 1, 1);
  out->addWidget(box("SROut2"), 2, 1);

  auto* grJoin = new QGroupBox(QString::fromUtf8("吸口/中継口"));
  grJoin->setObjectName("GrJoinSuct");
  auto* join = new QGridLayout(grJoin);
  join->addWidget(box("SLJoin"), 0, 0);
  join->addWidget(box("SRJoin"), 0, 1);
  join->addWidget(box("SLSuct"), 1, 0);
  join->addWidget(box("SRSuct"), 1, 1);
  join->addWidget(box("STank"), 2, 0, 1, 2, Qt::AlignHCenter);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addWidget(grOut);
  layout->addWidget(grJoin);

  timer1_.setInterval(33);
  timer1_.setSingleShot(true);
  connect(&timer1_, &QTimer::timeout, this, &TfSens::Timer1Timer);
  // Every box shares one click handler, whatever else it is connected to.
  for (QCheckBox* b : findChildren<QCheckBox*>()) connect(b, &QCheckBox::clicked, this, &TfSens::swPTOClick);
}

void TfSens::swPTOClick() {
  auto* b = qobject_cast<QCheckBox*>(sender());
  if (!b) return;
  pendingEvent_ = "chg" + Utf8ToCp932(b->text().toStdString());
  timer1_.start();
}

void TfSens::Timer1Timer() {
  timer1_.stop();
  if (pendingEvent_.empty()) return;
  // Emptied before the run: an event raised from inside it is kept.
  std::string event = std::move(pendingEvent_);
  pendingEvent_.clear();
  if (onEvent) onEvent(event);
  sim_.RaiseEvent(event);
}

}  // namespace qmt
