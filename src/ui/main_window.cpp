#include "ui/main_window.h"

#include <QActionGroup>
#include <QLayout>
#include <algorithm>
#include <chrono>
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
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include "device/png.h"
#include "device/qmt3308.h"
#include "support/encoding.h"
#include "ui/display_view.h"
#include "ui/file_messages.h"
#include "ui/window_font.h"
#include "ui/cp932_text.h"

namespace qmt {
namespace {

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
  // The display scrolls when the enlarged page does not fit on the screen.
  displayArea_ = new QScrollArea;
  displayArea_->setObjectName("DisplayArea");
  displayArea_->setFrameShape(QFrame::NoFrame);
  displayArea_->setWidget(panel1);
  left->addWidget(displayArea_, 0, Qt::AlignLeft | Qt::AlignTop);

  for (int i = 0; i < static_cast<int>(kKeys.size()); ++i) {
    const KeyInfo& k = kKeys[i];
    auto* b = new QPushButton(QString::fromUtf8(k.caption));
    b->setObjectName(k.control);
    b->setFocusPolicy(Qt::TabFocus);
    if (k.red) MakeRed(b);
    std::string label = Sjis(k.label);
    connect(b, &QPushButton::clicked, this, [this, label, i] {
      if (onKey) onKey(i);
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

  FitToScreen();

  sim_.onCheckRunChanged = [this] { ShowCheckRun(); };
  // The system's millisecond counter: time since boot, as the timer step
  // expects of it.
  millisecondCounter = [] {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  };
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
    connect(s, &QSlider::valueChanged, this, [this, slider](int v) {
      if (onSlider) onSlider(slider, v);
      sim_.SetSlider(slider, v);
    });
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
  connect(checkTimer_, &QCheckBox::toggled, this, [this](bool on) {
    if (onTimerBox) onTimerBox(on);
    sim_.SetTimerEnabled(on);
  });
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
  QMenu* view = menuBar()->addMenu(QString::fromUtf8("表示(&V)"));
  auto* zoomGroup = new QActionGroup(this);
  for (int z = 1; z <= 3; ++z) {
    QAction* a = view->addAction(QString::fromUtf8("%1倍").arg(z));
    a->setCheckable(true);
    a->setChecked(z == 1);
    a->setShortcut(QKeySequence(QString("Ctrl+%1").arg(z)));
    zoomGroup->addAction(a);
    a->setObjectName(QString("actionZoom%1").arg(z));
    connect(a, &QAction::triggered, this, [this, z] { SetZoom(z); });
    zoomActions_.append(a);
  }
  view->addSeparator();
  QAction* save = view->addAction(QString::fromUtf8("画面を保存…"));
  save->setShortcut(QKeySequence::Save);
  connect(save, &QAction::triggered, this, [this] {
    QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8("画面を保存"), "screen.png",
                                                QString::fromUtf8("PNG 画像 (*.png)"));
    if (!path.isEmpty()) SaveScreenshot(path);
  });
}

void TFDemo::ShowCheckRun() {
  QSignalBlocker block(checkRun_);
  checkRun_->setChecked(sim_.CheckRun());
  checkRun_->setText(FromCp932(sim_.CheckRunCaption()));
}

void TFDemo::FormActivate() { sim_.Activate(); }

void TFDemo::Timer1Timer() {
  const std::uint64_t now = ClockMs();
  const std::uint16_t previous = sim_.LastTick();
  sim_.Timer1Timer(now);
  if (onTick) {
    // The step the model took: the elapsed 10 ms units, at most 50.
    const auto elapsed = static_cast<std::uint16_t>(static_cast<std::uint16_t>(now & 0xFFFF) - previous);
    onTick(std::min<int>(elapsed / 10, kMaxTimeStep), now);
  }
}

void TFDemo::SetZoom(int zoom) {
  paintBox1_->SetZoom(zoom);
  // The View menu's check mark follows, however the zoom was chosen.
  if (zoom >= 1 && zoom <= zoomActions_.size()) zoomActions_[zoom - 1]->setChecked(true);
  FitToScreen();
}

void TFDemo::FitToScreen() {
  QWidget* panel = displayArea_->widget();
  panel->adjustSize();
  const QSize full = panel->size();
  const auto relayout = [this] {
    for (QLayout* l : {centralWidget()->layout(), layout()}) {
      l->invalidate();
      l->activate();
    }
  };
  displayArea_->setFixedSize(full);
  relayout();
  // What the window would take with the whole page in view, against the
  // room the screen offers (less the window frame, known once it is shown).
  const QScreen* where = screen();
  if (where != nullptr) {
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    const QSize room = where->availableGeometry().size() - frame;
    const QSize wanted = sizeHint();
    const int cutW = std::max(0, wanted.width() - room.width());
    const int cutH = std::max(0, wanted.height() - room.height());
    if (cutW > 0 || cutH > 0) {
      displayArea_->setFixedSize(std::max(160, full.width() - cutW), std::max(120, full.height() - cutH));
      relayout();
    }
  }
  resize(sizeHint());
}

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
  if (out.ok && fileOpened) fileOpened(paths.first());
  if (out.ok || !showMessage) return;
  if (out.error) {
    try {
      std::rethrow_exception(out.error);
    } catch (const std::exception& e) {
      showMessage(FileErrorText(e));
      return;
    }
  }
  // A refused picture or file kind, in the words the page uses too.
  showMessage(QString::fromStdString(out.message));
}

void TFDemo::SaveScreenshot(const QString& path) {
  try {
    WritePagePng(path.toStdString(), device_.DisplayPageBytes());
  } catch (const std::exception& e) {
    if (showMessage) showMessage(FileErrorText(e));
  }
}

}  // namespace qmt
