// TfScrTool: construction, pages, menu and the interface the data module and
// the simulator window use.  The handlers are in scr_tool_actions.cpp.
#include "ui/scr_tool.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <Qsci/qsciscintilla.h>
#include <QSlider>
#include <QSplitter>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>

#include "compiler/script.h"
#include "host/macro_compile.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "support/name_case.h"
#include "ui/file_messages.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool_palette.h"
#include "ui/reference_pane.h"
#include "ui/cp932_text.h"
#include "ui/macro_editor_assist.h"

namespace qmt {

namespace {

QPlainTextEdit* Memo(QWidget* parent, bool readOnly = false) {
  auto* m = new QPlainTextEdit(parent);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  m->setReadOnly(readOnly);
  m->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return m;
}


// A compiler message as the error page shows it.  The compiler counts lines
// from 0, the editor's margin from 1: the editor's number goes in front, so
// that the two never seem to disagree.
QString ErrLineText(const std::string& cp932) {
  int line = -1;
  if (std::sscanf(cp932.c_str(), "%d", &line) != 1 || line < 0) return FromCp932(cp932);
  return QString::fromUtf8("[%1行目] ").arg(line + 1) + FromCp932(cp932);
}

}  // namespace

std::int64_t FileAge(const std::string& path) {
  std::error_code ec;
  const auto t = std::filesystem::last_write_time(path, ec);
  if (ec) return 0;
  return static_cast<std::int64_t>(t.time_since_epoch().count());
}

int SourceLineOfPc(const TScript& script, int pc) {
  // The instruction at the highest address not above pc; line ends and label
  // definitions produce no code and carry the next line's number.
  int best = -1, bestAddress = -1;
  for (const TScrItem& t : script.Tokens()) {
    if (t.Kind == tok::kLineEnd || t.Kind == tok::kLabel || t.Kind == tok::kEof) continue;
    if (t.Address <= pc && t.Address >= bestAddress) {
      bestAddress = t.Address;
      best = t.Line;
    }
  }
  return best;
}

const std::vector<std::string>& TfScrTool::DefaultColourList() {
  static const std::vector<std::string> list = HeadlessToolWindow().ColorList();
  return list;
}

TfScrTool::TfScrTool(ScrToolHost& host, QWidget* parent)
    : QMainWindow(parent), host_(host), opener_(DesktopOpener(this)) {
  setWindowTitle("fScrTool");
  resize(820, 600);
  errorBox = [this](const QString& message) { QMessageBox::critical(this, windowTitle(), message); };
  openDialog = [this]() -> QString {
    QFileDialog dialog(this);
    dialog.setDefaultSuffix("txt");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.selectFile(QString::fromStdString(host_.MacroFilePath()));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  BuildPages();
  BuildMenu();

  // FormCreate
  colours_ = host_.StartColourList().value_or(DefaultColourList());
  RefreshColourButtons();
  externalEditAge_ = 0;
  PageControl1->setCurrentWidget(TabColor);
  if (!colourButtons_.empty()) {
    colourButtons_[0]->setChecked(true);
    RadioColorClick(0);
  }
  // Activation of the application (coming back from another editor) counts
  // as activation of this window.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive) FormActivate();
  });
}

TfScrTool::~TfScrTool() {
  if (Debug1->isChecked()) {
    SetTraceEnabled(false);
    SetTraceWriter(nullptr);
  }
}

bool TfScrTool::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(e);
}

void TfScrTool::BuildPages() {
  PageControl1 = new QTabWidget(this);
  setCentralWidget(PageControl1);

  // コマンド試験
  TabView = new QWidget;
  {
    Button1 = new QPushButton(FromCp932(Sjis("スクリプト実行(F2)")));
    CheckRun = new QCheckBox(FromCp932(Sjis("実機テスト")));
    CheckRun->setChecked(true);
    Button4 = new QPushButton(FromCp932(Sjis("QMTコマンド実行")));
    Memo1 = Memo(TabView);
    Memo2 = Memo(TabView);
    Memo1->setObjectName("Memo1");
    Memo2->setObjectName("Memo2");
    auto* top = new QHBoxLayout;
    top->addWidget(Button1);
    top->addWidget(CheckRun);
    top->addStretch();
    top->addWidget(Button4);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(Memo1);
    split->addWidget(Memo2);
    auto* v = new QVBoxLayout(TabView);
    v->addLayout(top);
    v->addWidget(split, 1);
    connect(Button1, &QPushButton::clicked, this, &TfScrTool::R1Click);
    connect(Button4, &QPushButton::clicked, this, &TfScrTool::Button4Click);
    connect(CheckRun, &QCheckBox::clicked, this, [this] { CheckRun->setText(FromCp932(Sjis("実機テスト"))); });
  }
  PageControl1->addTab(TabView, FromCp932(Sjis("コマンド試験")));

  // ツール
  TabTool = new QWidget;
  {
    Button2 = new QPushButton("VRAM_SAVE");
    Button3 = new QPushButton("VRAM_LOAD");
    RadioGroup1 = new QGroupBox(FromCp932(Sjis("表示PAGE")));
    RadioGroup1Buttons = new QButtonGroup(this);
    auto* rg = new QVBoxLayout(RadioGroup1);
    for (int i = 0; i < 4; ++i) {
      auto* b = new QRadioButton(QString::number(i));
      RadioGroup1Buttons->addButton(b, i);
      rg->addWidget(b);
    }
    LabMouse = new QLabel(FromCp932(Sjis("マウス座標")));
    LabMouse->setFont(QFont("Monospace"));
    Image1 = new QLabel;
    Image1->setMinimumSize(64, 64);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* grid = new QGroupBox;
    QPalette blue = grid->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    blue.setColor(QPalette::Text, Qt::blue);
    grid->setPalette(blue);
    Label1 = new QLabel(FromCp932(Sjis("始")));
    Edit2 = new QLineEdit(" 0 , 0");
    Edit1 = new QLineEdit("16,16");
    Edit2->setMaximumWidth(120);
    Edit1->setMaximumWidth(120);
    Button5 = new QPushButton(FromCp932(Sjis("Grid描画")));
    auto* gl = new QHBoxLayout(grid);
    gl->addWidget(Label1);
    gl->addWidget(Edit2);
    gl->addWidget(Edit1);
    gl->addWidget(Button5);
    auto* left = new QVBoxLayout;
    left->addWidget(Button2);
    left->addWidget(Button3);
    left->addWidget(RadioGroup1);
    left->addWidget(LabMouse);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(grid);
    right->addWidget(Image1, 1);
    auto* h = new QHBoxLayout(TabTool);
    h->addLayout(left);
    h->addLayout(right, 1);
    connect(Button2, &QPushButton::clicked, this, &TfScrTool::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfScrTool::Button3Click);
    connect(Button5, &QPushButton::clicked, this, &TfScrTool::Button5Click);
    connect(RadioGroup1Buttons, &QButtonGroup::idClicked, this, &TfScrTool::RadioGroup1Click);
  }
  PageControl1->addTab(TabTool, FromCp932(Sjis("ツール")));

  // マクロ
  TabMacro = new QWidget;
  Editor1 = new MacroEditor(TabMacro);
  (new QVBoxLayout(TabMacro))->addWidget(Editor1);
  PageControl1->addTab(TabMacro, FromCp932(Sjis("マクロ")));

  // Label
  TabLabel = new QWidget;
  {
    MLabel = Memo(TabLabel);
    MVariable = Memo(TabLabel);
    MConst = Memo(TabLabel);
    MExtFunc = Memo(TabLabel);
    MExtLabel = Memo(TabLabel);
    auto* split = new QSplitter(Qt::Horizontal);
    for (QPlainTextEdit* m : {MLabel, MVariable, MConst, MExtFunc, MExtLabel}) split->addWidget(m);
    (new QVBoxLayout(TabLabel))->addWidget(split);
  }
  PageControl1->addTab(TabLabel, "Label");

  // Err
  TabErr = new QWidget;
  ErrMemo = Memo(TabErr, true);
  ErrMemo->setObjectName("ErrLog");
  ErrMemo->setToolTip(FromCp932(Sjis("ダブルクリックでその行へ")));
  ErrMemo->viewport()->installEventFilter(this);
  (new QVBoxLayout(TabErr))->addWidget(ErrMemo);
  PageControl1->addTab(TabErr, "Err");
  PageControl1->setTabVisible(ErrPageIndex(), false);

  // 色
  TabColor = new QWidget;
  {
    LabelColor = new QLabel;
    PaintBox1 = new PaletteBox;
    TrackBar1 = new QSlider(Qt::Vertical);
    TrackBar1->setRange(0, 255);
    TrackBar1->setTickInterval(32);
    TrackBar1->setTickPosition(QSlider::TicksBothSides);
    TrackBar1->setInvertedAppearance(true);  // 0 at the top, as the palette
    RadioColor = new QGroupBox(FromCp932(Sjis("どの色を変更するか")));
    RadioColorButtons = new QButtonGroup(this);
    PanelColor = new QLabel(FromCp932(Sjis("左")));
    PanelColor->setAlignment(Qt::AlignCenter);
    PanelColor->setMinimumSize(80, 40);
    PanelColor->setAutoFillBackground(true);
    PanelColor->setFrameShape(QFrame::Panel);
    Label2 = new QLabel(FromCp932(Sjis("右のボタンで更新")));
    Button6 = new QPushButton(FromCp932(Sjis("画面更新")));
    auto* swatch = new QHBoxLayout;
    swatch->addWidget(PanelColor);
    swatch->addWidget(Label2);
    swatch->addWidget(Button6);
    swatch->addStretch();
    auto* radios = new QScrollArea;
    radios->setWidget(RadioColor);
    radios->setWidgetResizable(true);
    auto* right = new QVBoxLayout;
    right->addWidget(LabelColor);
    right->addWidget(radios, 1);
    right->addLayout(swatch);
    auto* h = new QHBoxLayout(TabColor);
    h->addWidget(PaintBox1);
    h->addWidget(TrackBar1);
    h->addLayout(right, 1);
    new QGridLayout(RadioColor);
    connect(PaintBox1, &PaletteBox::picked, TrackBar1, &QSlider::setValue);
    connect(TrackBar1, &QSlider::valueChanged, this, &TfScrTool::TrackBar1Change);
    connect(RadioColorButtons, &QButtonGroup::idClicked, this, &TfScrTool::RadioColorClick);
    connect(Button6, &QPushButton::clicked, this, &TfScrTool::N3Click);
  }
  PageControl1->addTab(TabColor, FromCp932(Sjis("色")));
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int) { PageControl1Change(); });

  // The trace pane, shown while "&Debug" is on.
  TraceDock = new QDockWidget(QString::fromUtf8("トレース"), this);
  TracePane = Memo(TraceDock, true);
  TracePane->setMaximumBlockCount(5000);
  TracePane->setFont(QFont("Monospace"));
  TraceDock->setWidget(TracePane);
  addDockWidget(Qt::BottomDockWidgetArea, TraceDock);
  TraceDock->hide();

  // The reference pane, opened by F1 in the editor or the test script.
  ReferenceDock = new ReferencePane(this);
  addDockWidget(Qt::RightDockWidgetArea, ReferenceDock);
  ReferenceDock->hide();
  for (QWidget* w : {static_cast<QWidget*>(Editor1), static_cast<QWidget*>(Memo1), static_cast<QWidget*>(Memo2)}) {
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), w, this, &TfScrTool::ShowReference);
    f1->setContext(Qt::WidgetWithChildrenShortcut);
  }
}

void TfScrTool::ShowReference() {
  QString line;
  int column = 0;
  if (Memo2->hasFocus()) {
    // A command line: its mnemonic, wherever the caret stands.
    ReferenceDock->ShowEntry({ReferenceKey::Kind::Command, Memo2->textCursor().block().text().left(2)});
    return;
  }
  if (Memo1->hasFocus()) {
    const QTextCursor cursor = Memo1->textCursor();
    line = cursor.block().text();
    column = cursor.positionInBlock();
  } else {
    // Scintilla counts bytes of UTF-8; the lookup counts characters.
    QsciScintilla* ed = Editor1->Text();
    const long pos = ed->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS);
    const int number = static_cast<int>(ed->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, pos));
    const long start = ed->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, number);
    const QByteArray bytes = ed->text(number).toUtf8();
    line = ed->text(number);
    column = static_cast<int>(QString::fromUtf8(bytes.left(static_cast<int>(pos - start))).size());
  }
  while (line.endsWith(u'\n') || line.endsWith(u'\r')) line.chop(1);
  ReferenceDock->ShowAt(line, column);
}

void TfScrTool::BuildMenu() {
  Test1 = menuBar()->addMenu(FromCp932(Sjis("マクロ(&M)")));
  N1 = Test1->addAction(FromCp932(Sjis("マクロコンパイル&GO")), this, &TfScrTool::N3Click);
  N1->setShortcut(Qt::Key_F9);
  Save1 = Test1->addAction(FromCp932(Sjis("保存")), this, &TfScrTool::Save1Click);
  Save1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  L1 = Test1->addAction(FromCp932(Sjis("読込(&L)")), this, &TfScrTool::L1Click);
  N2 = Test1->addAction(FromCp932(Sjis("別のエディタ")), this, &TfScrTool::N2Click);
  N2->setShortcut(Qt::Key_F3);
  Test1->addSeparator();
  R1 = Test1->addAction(FromCp932(Sjis("試験実行(&R)")), this, &TfScrTool::R1Click);
  R1->setShortcut(Qt::Key_F2);
  PCODElist1 = Test1->addAction("&PCODElist", this, &TfScrTool::PCODElist1Click);
  Test1->addSeparator();
  Debug1 = Test1->addAction("&Debug", this, &TfScrTool::Debug1Click);
  Debug1->setCheckable(true);
  Tool1 = menuBar()->addMenu("&Tool");
  BitMapPast1 = Tool1->addAction("&BitMapPast", this, &TfScrTool::BitMapPast1Click);
  connect(Tool1, &QMenu::aboutToShow, this, &TfScrTool::Tool1Click);
}

// --- interface for the data module and the simulator window --------------

// Qt gives a window whose title is empty the program's name as its caption;
// a cleared message line is a blank caption instead.
const QString TfScrTool::kBlankCaption = QStringLiteral(" ");

void TfScrTool::SetMessage(const std::string& cp932) {
  setWindowTitle(cp932.empty() ? kBlankCaption : FromCp932(cp932));
}

std::string TfScrTool::Message() const {
  if (windowTitle() == kBlankCaption) return "";
  std::string out, error;
  TryUtf8ToCp932(windowTitle().toStdString(), out, error);
  return out;
}

void TfScrTool::ClearErrLog() {
  errLog_.clear();
  ErrMemo->clear();
}

void TfScrTool::AppendErrLog(const std::string& cp932) {
  // One message per line, even when a message carries its own line ends.
  std::string text = cp932;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (const std::string& l : SplitLines(text)) {
    errLog_.push_back(l);
    ErrMemo->appendPlainText(ErrLineText(l));
  }
  if (text.empty()) {
    errLog_.push_back("");
    ErrMemo->appendPlainText("");
  }
}

int TfScrTool::ErrPageIndex() const { return PageControl1->indexOf(TabErr); }

void TfScrTool::SetMLabel(const std::vector<std::string>& lines) {
  MLabel->setPlainText(FromCp932(JoinLinesCrLf(lines)).replace("\r\n", "\n"));
}

void TfScrTool::SetMVariable(const std::vector<std::string>& lines) {
  MVariable->setPlainText(FromCp932(JoinLinesCrLf(lines)).replace("\r\n", "\n"));
}

void TfScrTool::SetErrPageVisible(bool visible) { PageControl1->setTabVisible(ErrPageIndex(), visible); }

void TfScrTool::UpdateErrPageVisibility() { SetErrPageVisible(!errLog_.empty()); }

void TfScrTool::ShowErrPage() {
  show();
  raise();
  activateWindow();
  PageControl1->setTabVisible(ErrPageIndex(), true);
  PageControl1->setCurrentWidget(TabErr);
  ErrMemo->setFocus();
}

void TfScrTool::ShowRunMessage(const std::string& cp932) {
  SetMessage(cp932);
  show();
  raise();
  activateWindow();
  PageControl1->setCurrentWidget(TabMacro);
  Editor1->setFocus();
  // "pc=%3d:..." names the next instruction: mark its source line, when the
  // compiler's last text is the editor's (not a test script, not edited
  // since).
  int pc = -1;
  Editor1->MarkLine(-1);
  std::vector<std::string> lines;
  std::string error;
  if (std::sscanf(cp932.c_str(), "pc=%d:", &pc) == 1 && Editor1->Lines(lines, error) &&
      host_.Script1().Source() == JoinLinesCrLf(lines))
    Editor1->MarkLine(SourceLineOfPc(host_.Script1(), pc));
}

bool TfScrTool::EditorLines(std::vector<std::string>& lines, std::string& error) const {
  return Editor1->Lines(lines, error);
}

void TfScrTool::SetEditorLines(const std::vector<std::string>& lines) {
  // The data module puts the macro here right before compiling it.
  lastCompileWasTest_ = false;
  Editor1->SetLines(lines);
}

bool TfScrTool::ColourValue(const std::string& name, std::string& value) const {
  for (const std::string& l : colours_) {
    const auto eq = l.find('=');
    if (eq != std::string::npos && SameName(l.substr(0, eq), name)) {
      value = l.substr(eq + 1);
      return true;
    }
  }
  return false;
}

void TfScrTool::SetColourList(std::vector<std::string> lines) {
  colours_ = std::move(lines);
  RefreshColourButtons();
}

void TfScrTool::RefreshColourButtons() {
  auto* grid = static_cast<QGridLayout*>(RadioColor->layout());
  const int rows = (static_cast<int>(colours_.size()) + 2) / 3;
  for (std::size_t i = colourButtons_.size(); i < colours_.size(); ++i) {
    auto* b = new QRadioButton;
    RadioColorButtons->addButton(b, static_cast<int>(i));
    colourButtons_.push_back(b);
  }
  while (colourButtons_.size() > colours_.size()) {
    delete colourButtons_.back();
    colourButtons_.pop_back();
  }
  for (std::size_t i = 0; i < colours_.size(); ++i) {
    colourButtons_[i]->setText(FromCp932(colours_[i]));
    grid->addWidget(colourButtons_[i], static_cast<int>(i) % rows, static_cast<int>(i) / rows);
  }
  // The editor's completion and hover know the colours the compiler knows.
  if (Editor1) Editor1->Assist()->SetColorList(colours_);
}

void TfScrTool::ReportError(const std::string& message) {
  if (errorBox) errorBox(FromCp932(message));
}

void TfScrTool::ReportFileError(const std::exception& error) {
  if (errorBox) errorBox(FileErrorText(error));
}

void TfScrTool::OpenWithDesktop(const std::string& path) {
  if (!opener_) return;
  const QString name = QString::fromStdString(path);
  opener_->Open(path, [this, name](const QString& why) {
    std::string cp932, error;
    TryUtf8ToCp932(QString::fromUtf8("「%1」を開けません: %2").arg(name, why).toStdString(), cp932, error);
    SetMessage(cp932);
  });
}

}  // namespace qmt
