// TfScrTool: the handlers of menus, buttons and pages.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTextBlock>
#include <Qsci/qsciscintilla.h>
#include <cstdio>
#include <filesystem>

#include "compiler/script.h"
#include "host/macro_compile.h"
#include "device/colour.h"
#include "device/escape.h"
#include "device/qmt3308.h"
#include "host/bitmap_converter.h"
#include "host/config_files.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "support/spliter.h"
#include "ui/file_messages.h"
#include "ui/grid_overlay.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"
#include "ui/cp932_text.h"
#include "ui/macro_editor_assist.h"

namespace qmt {

namespace {

// The lines of a memo as code page 932; false with a message naming the
// first character code page 932 cannot hold.
bool MemoLines(const QPlainTextEdit* memo, std::vector<std::string>& lines, std::string& error) {
  std::string cp932;
  if (!TryUtf8ToCp932(memo->toPlainText().toStdString(), cp932, error)) return false;
  lines = SplitLines(cp932);
  return true;
}

}  // namespace

bool TfScrTool::eventFilter(QObject* watched, QEvent* e) {
  if (watched == ErrMemo->viewport() && e->type() == QEvent::MouseButtonDblClick) {
    // A message starts with the source line it is about: go there.
    const auto* me = static_cast<QMouseEvent*>(e);
    const int block = ErrMemo->cursorForPosition(me->position().toPoint()).block().blockNumber();
    int line = -1;
    if (block >= 0 && block < static_cast<int>(errLog_.size()) && std::sscanf(errLog_[block].c_str(), "%d", &line) == 1 &&
        line >= 0) {
      if (lastCompileWasTest_) {
        PageControl1->setCurrentWidget(TabView);
        QTextCursor c(Memo1->document()->findBlockByNumber(line));
        Memo1->setTextCursor(c);
        Memo1->setFocus();
      } else {
        PageControl1->setCurrentWidget(TabMacro);
        Editor1->GoToLine(line);
      }
    }
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

void TfScrTool::FormActivate() {
  if (externalEditAge_ == 0) return;
  const std::string path = host_.MacroFilePath();
  const std::int64_t age = FileAge(path);
  if (age == 0 || age == externalEditAge_) return;
  // Taken as seen before reporting: the error box's closing activates the
  // window again.
  externalEditAge_ = age;
  try {
    Editor1->LoadFromFile(path);
  } catch (const std::exception& e) {
    ReportFileError(e);
  }
}

void TfScrTool::SaveColourFile() {
  const std::string path = host_.ColourFilePath();
  if (path.empty()) return;
  try {
    // The configuration folder is made on the first save.
    WriteListFile(path, colours_);
  } catch (const std::exception& e) {
    ReportFileError(e);
  }
}

void TfScrTool::N3Click() {
  SaveColourFile();
  SetMessage("");
  Editor1->MarkLine(-1);
  lastCompileWasTest_ = false;
  std::vector<std::string> lines;
  std::string error;
  if (!Editor1->Lines(lines, error)) {
    // Nothing is compiled from a text that would lose characters; the
    // non-empty log keeps the simulator's events off.
    ClearErrLog();
    ReportUnconvertible("マクロ", Editor1->Text()->text());
    ShowErrPage();
    return;
  }
  host_.SetMacroLines(lines);
  host_.CompileMacro();
  host_.StartMacro();
}

bool TfScrTool::SaveMacroFile(const std::string& path) {
  std::vector<std::string> lines;
  std::string error;
  if (!Editor1->Lines(lines, error)) {
    if (errorBox) errorBox(QString::fromUtf8("マクロ: ") + UnconvertibleText(Editor1->Text()->text()));
    return false;
  }
  try {
    // The configuration folder is made on the first save.
    WriteListFile(path, lines);
    Editor1->MarkSaved();
  } catch (const std::exception& e) {
    ReportFileError(e);
    return false;
  }
  return true;
}

void TfScrTool::Save1Click() {
  SaveColourFile();
  if (SaveMacroFile(host_.MacroFilePath())) KeepEditorAside();
}

void TfScrTool::L1Click() {
  const QString file = openDialog ? openDialog() : QString();
  if (file.isEmpty()) return;
  try {
    Editor1->LoadFromFile(file.toStdString());
  } catch (const std::exception& e) {
    ReportFileError(e);
  }
}

void TfScrTool::N2Click() {
  const std::string path = host_.MacroFilePath();
  if (!SaveMacroFile(path)) return;
  KeepEditorAside();
  externalEditAge_ = FileAge(path);
  OpenWithDesktop(path);
}

void TfScrTool::R1Click() {
  SetMessage("");
  Memo2->clear();
  ClearErrLog();
  lastCompileWasTest_ = true;
  TScript& script = host_.Script1();
  std::vector<std::string> lines;
  std::string error;
  if (!MemoLines(Memo1, lines, error)) {
    ReportUnconvertible("スクリプト", Memo1->toPlainText());
  } else {
    try {
      script.Compile(JoinLinesCrLf(lines));
    } catch (const SilentAbort& e) {
      AppendErrLog(e.message());
    } catch (const std::exception& e) {
      AppendErrLog(e.what());
    }
    std::vector<std::string> list;
    script.ListLabels(list);
    SetMLabel(list);
    list.clear();
    script.ListVariables(list);
    SetMVariable(list);
  }
  UpdateErrPageVisibility();
  if (!errLog_.empty()) {
    PageControl1->setCurrentWidget(TabErr);
    return;
  }
  toolRunner_.onMessage = [this](const std::string& m) { SetMessage(m); };
  toolRunner_.onLine = [this](std::string_view line) { SendIfChecked(line); };
  if (!toolRunner_.LoadImage(script.Code())) return;
  // Each line the run sends is logged before the device executes it.
  toolRunner_.sink = [this](std::string_view line) {
    AppendMemo2(EscapeForDisplay(line));
    toolRunner_.SinkLine(line);
  };
  toolRunner_.RunFrom();
}

void TfScrTool::ReportUnconvertible(const char* where, const QString& text) {
  // Named by its line, its code point and (on screen only) itself.
  const QString head = QString::fromUtf8(where) + ": ";
  if (UnconvertibleText(text).isEmpty()) return;
  errLog_.push_back(Utf8ToCp932((head + UnconvertibleText(text, 1, false)).toStdString()));
  ErrMemo->appendPlainText(head + UnconvertibleText(text));
}

void TfScrTool::AppendMemo2(const std::string& cp932) { Memo2->appendPlainText(FromCp932(cp932)); }

void TfScrTool::SendIfChecked(std::string_view line) {
  if (!CheckRun->isChecked()) return;
  if (!host_.SendLine(line)) {
    CheckRun->setChecked(false);
    CheckRun->setText(FromCp932(Sjis("未接続")));
  }
}

void TfScrTool::Button4Click() {
  SetMessage("");
  const std::vector<std::string> lines = SplitLines(Memo2->toPlainText().toStdString());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string cp932, error;
    if (!TryUtf8ToCp932(lines[i], cp932, error)) {
      setWindowTitle(QString::fromUtf8("QMTコマンド ") +
                     UnconvertibleText(QString::fromStdString(lines[i]), static_cast<int>(i) + 1));
      continue;
    }
    const std::string bytes = Unescape(cp932);
    Device().ExecuteLine(bytes);
    SendIfChecked(bytes);
  }
}

void TfScrTool::Button2Click() {
  for (int p = 0; p < 4; ++p) {
    const std::string file = "VRAM" + std::to_string(p) + ".bmp";
    try {
      Device().SavePage(p, file);
    } catch (const std::exception& e) {
      ReportFileError(e);
      return;
    }
  }
}

void TfScrTool::Button3Click() {
  for (int p = 0; p < 4; ++p) {
    const std::string file = "VRAM" + std::to_string(p) + ".bmp";
    try {
      Device().LoadPage(p, file);
      Device().NotifyPageChanged(p);
    } catch (const std::exception& e) {
      // The pages before the bad file are loaded; the rest stay as they were.
      ReportFileError(e);
      return;
    }
  }
}

void TfScrTool::RadioGroup1Click(int index) {
  const std::string line = "DS" + std::to_string(index);
  Device().ExecuteLine(line);
  host_.SendLine(line);
}

void TfScrTool::PageControl1Change() {
  if (PageControl1->currentWidget() != TabLabel) return;
  const auto fill = [](QPlainTextEdit* m, const std::vector<std::string>& lines) {
    m->setPlainText(FromCp932(JoinLinesCrLf(lines)).replace("\r\n", "\n"));
  };
  fill(MExtFunc, host_.FuncLabelLines());
  fill(MExtLabel, host_.ExtValueLines());
  fill(MConst, host_.ConstantLines());
}

void TfScrTool::PCODElist1Click() {
  std::vector<std::string> list;
  host_.Script1().ListCode(list);
  try {
    WriteFileAtomic("PCODEL.txt", JoinLinesCrLf(list));
  } catch (const std::exception& e) {
    ReportFileError(e);
    return;
  }
  OpenWithDesktop("PCODEL.txt");
}

void TfScrTool::Debug1Click() {
  const bool on = Debug1->isChecked();
  SetTraceEnabled(on);
  if (on) {
    // Standard output stands for the console; the pane shows the same lines.
    SetTraceWriter([this](std::string_view line) {
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fputc('\n', stdout);
      TracePane->appendPlainText(FromCp932(std::string(line)));
    });
    TraceDock->show();
  } else {
    SetTraceWriter(nullptr);
    std::fflush(stdout);
    TraceDock->hide();
  }
}

void TfScrTool::Button5Click() {
  std::string error, startText, stepText;
  // A character code page 932 cannot hold is refused like any other bad
  // character, by name.
  if (!TryUtf8ToCp932(Edit2->text().toStdString(), startText, error)) {
    SetMessage(Sjis("始点: ") + Utf8ToCp932(UnconvertibleText(Edit2->text(), 1, false).toStdString()));
    return;
  }
  if (!TryUtf8ToCp932(Edit1->text().toStdString(), stepText, error)) {
    SetMessage(Sjis("間隔: ") + Utf8ToCp932(UnconvertibleText(Edit1->text(), 1, false).toStdString()));
    return;
  }
  const auto start = ReadGridPair(startText, error);
  if (!start) {
    SetMessage(Sjis("始点: ") + error);
    return;
  }
  const auto step = ReadGridPair(stepText, error);
  if (!step) {
    SetMessage(Sjis("間隔: ") + error);
    return;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QSize size = screen->size();
  auto lines = GridLines(*start, *step, size.width(), size.height());
  if (lines.empty()) return;
  auto* overlay = new GridOverlay(std::move(lines), Edit1->palette().color(QPalette::Text));
  overlay->show();
}

void TfScrTool::RadioColorClick(int index) {
  if (index < 0 || index >= static_cast<int>(colours_.size())) return;
  const std::string& line = colours_[index];
  const auto eq = line.find('=');
  const std::string name = line.substr(0, eq);
  std::string value;
  ColourValue(name, value);
  LabelColor->setText(FromCp932(name));
  PanelColor->setText(FromCp932(value));
  // Decimal, or hexadecimal after "$".
  std::int64_t v = 0;
  bool ok = !value.empty();
  try {
    TStringSpliter sp(value);
    v = sp.ReadNumber();
    ok = ok && sp.Count() > 0 && sp.AtEnd();
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    ReportError(Sjis("'") + value + Sjis("' は整数ではありません"));
    return;
  }
  const auto b = static_cast<std::uint8_t>(v & 0xFF);
  ColourPanel(b, FromCp932(value));
  TrackBar1->setValue(b);
}

void TfScrTool::ColourPanel(std::uint8_t colour, const QString& caption) {
  const Rgb rgb = ColourToRGB(colour);
  QPalette p = PanelColor->palette();
  p.setColor(QPalette::Window, QColor(rgb.r, rgb.g, rgb.b));
  p.setColor(QPalette::WindowText, QColor(rgb.r ^ 0xFF, rgb.g ^ 0xFF, rgb.b ^ 0xFF));
  PanelColor->setPalette(p);
  PanelColor->setText(caption);
}

void TfScrTool::TrackBar1Change(int position) {
  const auto b = static_cast<std::uint8_t>(position);
  char text[8];
  std::snprintf(text, sizeof text, "$%02X", b);
  ColourPanel(b, text);
  std::string name, error;
  if (!TryUtf8ToCp932(LabelColor->text().toStdString(), name, error) || name.empty()) return;
  for (std::size_t i = 0; i < colours_.size(); ++i) {
    const auto eq = colours_[i].find('=');
    if (eq != std::string::npos && colours_[i].substr(0, eq) == name) {
      colours_[i] = name + "=" + text;
      colourButtons_[i]->setText(FromCp932(colours_[i]));
      Editor1->Assist()->SetColorList(colours_);
      break;
    }
  }
}

}  // namespace qmt
