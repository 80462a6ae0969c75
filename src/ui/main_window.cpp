#include "ui/main_window.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "device/png.h"
#include "device/qmt3308.h"
#include "support/encoding.h"
#include "ui/display_view.h"
#include "ui/window_font.h"

namespace qmt {
namespace {

QString FromCp932(const std::string& s) { return QString::fromStdString(Cp932ToUtf8(s)); }

void MakeRed(QWidget* w) {
  QPalette p = w->palette();
  p.setColor(QPalette::ButtonText, Qt::red);
  p.setColor(QPalette::WindowText, Qt::red);
  w->setPalette(p);
}

}  // namespace

TFDemo::TFDemo(Simulator& sim, TQMT3308& device, QWidget* parent)
    : QMainWindow(parent), sim_(sim), device_(device) {
  setWindowTitle(QString::fromUtf8("QMT3308 シミュレータ"));
  setFont(JapaneseGothicFont(12));
  setAcceptDrops(true);
  showMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };

  auto* central = new QWidget;
  auto* outer = new QHBoxLayout(central);
  outer->setContentsMargins(4, 4, 4, 4);

  auto* left = new QVBoxLayout;
  auto* panel1 = new QFrame;
  panel1->setObjectName("Panel1");
  panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel1->setLineWidth(2);
  auto* panelLayout = new QVBoxLayout(panel1);
  panelLayout->setContentsMargins(2, 2, 2, 2);
  paintBox1_ = new DisplayView(device_);
  paintBox1_->setObjectName("PaintBox1");
  panelLayout->addWidget(paintBox1_);
  left->addWidget(panel1, 0, Qt::AlignLeft | Qt::AlignTop);

  for (int i = 0; i < static_cast<int>(kKeys.size()); ++i) {
    const KeyInfo& k = kKeys[i];
    auto* b = new QPushButton(QString::fromUtf8(k.caption));
    b->setObjectName(k.control);
    b->setFocusPolicy(Qt::TabFocus);
    if (k.red) MakeRed(b);
    std::string label = Sjis(k.label);
    connect(b, &QPushButton::clicked, this, [this, label] {
      sim_.ReadInputs();
      sim_.RaiseEvent(label);
    });
    keys_[i] = b;
  }
  auto* keyRow = new QHBoxLayout;
  keyRow->addWidget(BuildKeyGroup("真空ポンプ", {0, 1, 2}));
  keyRow->addWidget(BuildKeyGroup("画面切替", {3, 4}));
  keyRow->addWidget(BuildKeyGroup("計器選択", {5, 6, 7, 8}));
  keyRow->addStretch();
  left->addLayout(keyRow);
  left->addStretch();

  outer->addLayout(left);
  outer->addWidget(BuildRightColumn(), 0, Qt::AlignTop);
  setCentralWidget(central);
  BuildMenu();

  sim_.onCheckRunChanged = [this] { ShowCheckRun(); };
  clock_.start();
  timer1_.setInterval(33);
  connect(&timer1_, &QTimer::timeout, this, &TFDemo::Timer1Timer);
  timer1_.start();
}

QWidget* TFDemo::BuildKeyGroup(const char* caption, std::initializer_list<int> keys) {
  auto* box = new QWidget;
  auto* v = new QVBoxLayout(box);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(2);
  auto* frame = new QFrame;
  frame->setFrameStyle(QFrame::Box | QFrame::Raised);
  auto* row = new QHBoxLayout(frame);
  row->setContentsMargins(6, 6, 6, 6);
  for (int k : keys) {
    keys_[k]->setFixedSize(56, 40);
    row->addWidget(keys_[k]);
  }
  v->addWidget(frame);
  auto* label = new QLabel(QString::fromUtf8(caption));
  label->setAlignment(Qt::AlignHCenter);
  v->addWidget(label);
  return box;
}

QWidget* TFDemo::BuildRightColumn() {
  auto* column = new QWidget;
  column->setFixedWidth(170);
  auto* v = new QVBoxLayout(column);
  v->setContentsMargins(2, 0, 2, 0);
  v->setSpacing(2);
  for (int i = 0; i < kSliderCount; ++i) {
    const SliderInfo& info = kSliders[i];
    v->addWidget(new QLabel(QString::fromUtf8(info.caption)));
    auto* s = new QSlider(Qt::Horizontal);
    s->setObjectName(info.control);
    s->setRange(0, 1000);
    s->setSingleStep(info.arrowStep);
    s->setPageStep(info.pageStep);
    s->setTickInterval(100);
    s->setTickPosition(QSlider::TicksBelow);
    auto slider = static_cast<Slider>(i);
    connect(s, &QSlider::valueChanged, this, [this, slider](int v) { sim_.SetSlider(slider, v); });
    tracks_[i] = s;
    v->addWidget(s);
    v->addSpacing(4);
  }

  auto* button11 = new QPushButton(QString::fromUtf8("センサパネル"));
  button11->setObjectName("Button11");
  connect(button11, &QPushButton::clicked, this, [this] {
    if (showSensorPanel) showSensorPanel();
  });
  auto* button10 = new QPushButton(QString::fromUtf8("色(デバッグ)"));
  button10->setObjectName("Button10");
  connect(button10, &QPushButton::clicked, this, [this] {
    if (showToolWindow) showToolWindow();
  });
  v->addWidget(button11);
  v->addSpacing(6);
  v->addWidget(button10);

  checkRun_ = new QCheckBox;
  checkRun_->setObjectName("CheckRun");
  connect(checkRun_, &QCheckBox::clicked, this, [this](bool on) {
    sim_.SetCheckRun(on);
    ShowCheckRun();
  });
  ShowCheckRun();
  checkTimer_ = new QCheckBox(QString::fromUtf8("タイマ"));
  checkTimer_->setObjectName("CheckTimer");
  checkTimer_->setChecked(sim_.TimerEnabled());
  connect(checkTimer_, &QCheckBox::toggled, this, [this](bool on) { sim_.SetTimerEnabled(on); });
  v->addWidget(checkRun_);
  v->addWidget(checkTimer_);

  auto* updown = new QFrame;
  updown->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* ud = new QVBoxLayout(updown);
  ud->setContentsMargins(6, 6, 6, 6);
  ud->addWidget(keys_[9]);
  ud->addWidget(keys_[10]);
  keys_[9]->setFixedHeight(32);
  keys_[10]->setFixedHeight(32);
  v->addSpacing(6);
  v->addWidget(updown);
  return column;
}

void TFDemo::BuildMenu() {
  QMenu* view = menuBar()->addMenu(tr("&View"));
  auto* zoomGroup = new QActionGroup(this);
  for (int z = 1; z <= 3; ++z) {
    QAction* a = view->addAction(QString("%1\u00d7").arg(z));
    a->setCheckable(true);
    a->setChecked(z == 1);
    a->setShortcut(QKeySequence(QString("Ctrl+%1").arg(z)));
    zoomGroup->addAction(a);
    connect(a, &QAction::triggered, this, [this, z] {
      paintBox1_->SetZoom(z);
      adjustSize();
    });
  }
  for (int z = 1; z <= 3; ++z) zoomGroup->actions()[z - 1]->setObjectName(QString("actionZoom%1").arg(z));
  view->addSeparator();
  QAction* save = view->addAction(tr("Save screenshot…"));
  save->setShortcut(QKeySequence::Save);
  connect(save, &QAction::triggered, this, [this] {
    QString path = QFileDialog::getSaveFileName(this, tr("Save screenshot"), "screen.png", tr("PNG pictures (*.png)"));
    if (!path.isEmpty()) SaveScreenshot(path);
  });
}

void TFDemo::ShowCheckRun() {
  QSignalBlocker block(checkRun_);
  checkRun_->setChecked(sim_.CheckRun());
  checkRun_->setText(FromCp932(sim_.CheckRunCaption()));
}

void TFDemo::FormActivate() { sim_.Activate(); }

void TFDemo::Timer1Timer() { sim_.Timer1Timer(static_cast<std::uint64_t>(clock_.elapsed())); }

bool TFDemo::event(QEvent* e) {
  // Without a window manager a window may never be activated: showing it
  // counts as the first activation too.
  if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) FormActivate();
  return QMainWindow::event(e);
}

void TFDemo::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TFDemo::dropEvent(QDropEvent* e) {
  QStringList paths;
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  e->acceptProposedAction();
  DropFiles(paths);
}

void TFDemo::DropFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  DropOutcome out = sim_.DropFile(paths.first().toStdString());
  if (!out.ok && showMessage) showMessage(QString::fromStdString(out.message));
  if (out.ok && fileOpened) fileOpened(paths.first());
}

void TFDemo::SaveScreenshot(const QString& path) {
  try {
    WritePagePng(path.toStdString(), device_.DisplayPageBytes());
  } catch (const std::exception& e) {
    if (showMessage) showMessage(QString::fromStdString(e.what()));
  }
}

}  // namespace qmt
