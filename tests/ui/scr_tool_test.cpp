// The tool window over the real data module, compiler, runner and device.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QButtonGroup>
#include <QAction>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QWindow>
#include <QtTest>
#include <Qsci/qsciscintilla.h>
#include <filesystem>
#include <fstream>
#include <memory>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "ui/grid_overlay.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_binding.h"
#include "ui/scr_tool_palette.h"
#include "ui/scr_tool_band.h"
#include "ui/display_view.h"

using namespace qmt;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

struct RecordingOpener : ShellOpener {
  void Open(const std::string& path, std::function<void(const QString&)>) override { opened.push_back(path); }
  std::vector<std::string> opened;
};

struct FailingLink : SimLink {
  bool SendLine(std::string_view line) override {
    sent.emplace_back(line);
    return false;
  }
  bool DeviceBusy() override { return true; }
  std::vector<std::string> sent;
};

// Counts the labels the simulator runs and passes everything on.
struct CountingRunner : SimRunner {
  explicit CountingRunner(TRunner& r) : port(r) {}
  void SetHandlers(Handler m, Handler l) override { port.SetHandlers(m, l); }
  void SetLabelList(const std::vector<std::string>& l) override { port.SetLabelList(l); }
  void LoadImage(const std::vector<std::uint8_t>& image) override { port.LoadImage(image); }
  void RunFrom(std::optional<std::string_view> label) override {
    if (label) runs.emplace_back(*label);
    port.RunFrom(label);
  }
  std::int16_t Ext(int id) const override { return port.Ext(id); }
  void SetExt(int id, std::int16_t v) override { port.SetExt(id, v); }
  RunnerPort port;
  std::vector<std::string> runs;
};

// The program's windows as start-up makes them, in a temporary working
// directory that also holds the macro and colour files.
struct Harness {
  QTemporaryDir dir;
  QString old = QDir::currentPath();
  TRunner mainRunner;
  CountingRunner runner{mainRunner};
  FailingLink link;
  std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
  std::vector<std::string> errors;
  std::unique_ptr<TdmToolHost> host;
  std::unique_ptr<TfScrTool> tool;
  std::unique_ptr<TDM> dm;
  std::unique_ptr<DataModuleMacroSource> source;
  std::unique_ptr<ToolWindowMessages> messages;
  std::unique_ptr<Simulator> sim;

  Harness() {
    QDir::setCurrent(dir.path());
    const std::string base = dir.path().toStdString() + "/qmtsim";
    ConfigFiles files;
    files.macroFile = base + "Macro.txt";
    files.colorFile = base + "Color.txt";
    host = std::make_unique<TdmToolHost>(files);
    tool = std::make_unique<TfScrTool>(*host);
    tool->SetShellOpener(opener);
    tool->errorBox = [this](const QString& m) { errors.push_back(m.toStdString()); };
    dm = std::make_unique<TDM>(*tool);
    dm->Macro.Items().Assign({"GOTO INIT", "onRUN:", "EXIT", "INIT:", "EXIT"});
    host->SetDataModule(dm.get());
    source = std::make_unique<DataModuleMacroSource>(*dm);
    messages = std::make_unique<ToolWindowMessages>(*tool);
    Simulator::Ports ports;
    ports.runner = &runner;
    ports.macro = source.get();
    ports.messages = messages.get();
    ports.link = &link;
    sim = std::make_unique<Simulator>(ports);
    host->SetSimulator(sim.get());
    host->SetLink(&link);
    tool->CheckRun->setChecked(false);
  }
  ~Harness() { QDir::setCurrent(old); }

  static std::vector<std::uint8_t> DisplayPage() {
    const std::uint8_t* p = Device().DisplayPageBytes();
    return {p, p + 640 * 480};
  }
  bool ErrTabVisible() const { return tool->PageControl1->isTabVisible(tool->PageControl1->indexOf(tool->TabErr)); }
};

struct NullSurface : TraceSurface {
  void XorLine(TracePoint, TracePoint) override { ++lines; }
  int lines = 0;
};

}  // namespace

class ScrToolTest : public QObject {
  Q_OBJECT
 private slots:
  void startsOnTheColourPageWithTheErrorPageHidden() {
    Harness h;
    QCOMPARE(h.tool->windowTitle(), QString("fScrTool"));
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabColor);
    QVERIFY(!h.ErrTabVisible());
    QCOMPARE(h.tool->ColorList().size(), std::size_t{34});
    QCOMPARE(h.tool->LabelColor->text(), U("色全背景"));
    QCOMPARE(h.tool->N1->shortcut(), QKeySequence(Qt::Key_F9));
    QCOMPARE(h.tool->R1->shortcut(), QKeySequence(Qt::Key_F2));
    QCOMPARE(h.tool->N2->shortcut(), QKeySequence(Qt::Key_F3));
    QCOMPARE(h.tool->Save1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  }

  void testRunLogsTheLinesAndReplayDrawsTheSamePixels() {
    Harness h;
    // A GI pattern with control bytes, a quote, a percent sign and high bytes.
    h.tool->Memo1->setPlainText(U(
        "d(\"DS0\")\nd(\"PS0\")\nd(\"ER\")\nc($E0)\nline(5,5,100,40)\n"
        "GI(\"%FF%00%22%25%7F%80%A0%E0%41%42%0D%0A%FF%FF%FF%FF%01%02%03%04%05%06%07%08%09%10%11%12%13%14%15%16\")\n"));
    h.tool->R1Click();
    QVERIFY(h.tool->ErrLog().empty());
    const QStringList lines = h.tool->Memo2->toPlainText().split('\n');
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QString("DS0"));
    QCOMPARE(lines[3], QString("CSE0"));
    QCOMPARE(lines[5],
             QString("GI%FF%00%22%25%7F%80%A0%E0AB%0D%0A%FF%FF%FF%FF%01%02%03%04%05%06%07%08%09%10%11%12%13%14%15%16"));
    const std::vector<std::uint8_t> drawn = Harness::DisplayPage();

    Device().ExecuteLine("ER");
    QVERIFY(Harness::DisplayPage() != drawn);
    h.tool->Button4Click();
    QVERIFY(Harness::DisplayPage() == drawn);
    QCOMPARE(h.tool->Message(), std::string());
  }

  void unconvertibleCommandLineIsNamedOnceInJapanese() {
    Harness h;
    h.tool->Memo2->setPlainText(U("DS0\nCS\u00e9E0\n"));
    h.tool->Button4Click();
    const QString caption = QString::fromStdString(Cp932ToUtf8(h.tool->Message()));
    QVERIFY2(caption.startsWith(U("QMTコマンド 2行目の文字 U+00E9")), qPrintable(caption));
    QVERIFY2(!caption.contains("line") && !caption.contains("character"), qPrintable(caption));
    // A cleared message line is blank, not the program's name, for the
    // window system too (Qt puts the program's name in an empty title).
    h.tool->N3Click();
    QCOMPARE(h.tool->Message(), std::string());
    h.tool->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.tool.get()));
    QVERIFY(!h.tool->windowHandle()->title().isEmpty());
    QVERIFY(h.tool->windowHandle()->title().trimmed().isEmpty());
  }

  void errorListShowsTheEditorsLineNumberToo() {
    Harness h;
    h.tool->SetEditorLines({"GOTO INIT", "INIT:", "x = = 1", "EXIT"});
    h.tool->N3Click();
    QVERIFY(!h.tool->ErrLog().empty());
    const std::string logged = h.tool->ErrLog()[0];
    QVERIFY2(logged.rfind("  2,", 0) == 0, logged.c_str());  // the compiler counts from 0
    const QString shown = h.tool->ErrMemo->document()->firstBlock().text();
    QCOMPARE(shown, U("[3行目] ") + QString::fromStdString(Cp932ToUtf8(logged)));
    // Double-clicking the message goes to the line it names.
    const QPoint at = h.tool->ErrMemo->cursorRect(QTextCursor(h.tool->ErrMemo->document()->firstBlock())).center();
    QTest::mouseDClick(h.tool->ErrMemo->viewport(), Qt::LeftButton, {}, at);
    int line = -1, index = -1;
    h.tool->Editor1->Text()->getCursorPosition(&line, &index);
    QCOMPARE(line, 2);
  }

  // A test run whose disc lies partly off the screen keeps drawing; its
  // many refusals end in one summary line in the caption.
  void refusedLinesEndInOneSummaryAndTheRunGoesOn() {
    Harness h;
    h.tool->Memo1->setPlainText("d(\"DS0\")\nd(\"PS0\")\nCirFill(0,240,150)\nbox(300,200,20,20,$2E0)\n");
    h.tool->R1Click();
    QVERIFY(h.tool->ErrLog().empty());
    QVERIFY(h.tool->Memo2->toPlainText().endsWith("TA300,200,320,220,1"));
    QCOMPARE(int(Device().DisplayPageBytes()[210 * 640 + 310]), 0xE0);
    QVERIFY2(h.tool->windowTitle().startsWith(U("ほかにメッセージ")), qPrintable(h.tool->windowTitle()));
  }

  void failedTransmissionUnticksCheckRun() {
    Harness h;
    h.tool->CheckRun->setChecked(true);
    h.tool->Memo1->setPlainText("d(\"DS0\")\nd(\"PS0\")\n");
    h.tool->R1Click();
    QVERIFY(!h.tool->CheckRun->isChecked());
    QCOMPARE(h.tool->CheckRun->text(), U("未接続"));
    QCOMPARE(h.link.sent.size(), std::size_t{1});  // later lines are not sent
    QCOMPARE(h.tool->Memo2->toPlainText(), QString("DS0\nPS0"));
  }

  void testCompileErrorStopsEventsUntilF9Succeeds() {
    Harness h;
    h.sim->Activate();
    QVERIFY(h.dm->MacroReady());
    h.sim->RaiseEvent("onRUN");
    QCOMPARE(h.runner.runs.size(), std::size_t{1});

    h.tool->Memo1->setPlainText("box(1,2\n");
    h.tool->R1Click();
    QVERIFY(!h.tool->ErrLog().empty());
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabErr);
    QVERIFY(h.ErrTabVisible());

    h.tool->PageControl1->setCurrentWidget(h.tool->TabView);
    h.sim->RaiseEvent("onRUN");  // brings the error page forward once
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabErr);
    h.tool->PageControl1->setCurrentWidget(h.tool->TabView);
    h.sim->RaiseEvent("onRUN");
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabView);
    QCOMPARE(h.runner.runs.size(), std::size_t{1});

    h.tool->N3Click();  // F9: the editor still holds the macro
    QVERIFY(h.tool->ErrLog().empty());
    QVERIFY(!h.ErrTabVisible());
    h.sim->RaiseEvent("onRUN");
    QCOMPARE(h.runner.runs.size(), std::size_t{2});
  }

  void colourChangeReachesMacrosAtTheNextCompile() {
    Harness h;
    h.tool->Memo1->setPlainText(U("c(色全背景)\n"));
    h.tool->RadioColorClick(0);
    h.tool->TrackBar1->setValue(0x5A);
    QCOMPARE(h.tool->ColorList()[0], Sjis("色全背景=$5A"));
    QCOMPARE(h.tool->PanelColor->text(), QString("$5A"));
    h.tool->R1Click();
    QCOMPARE(int(Device().State().colour), 0x5A);
    h.tool->TrackBar1->setValue(0x3C);
    QCOMPARE(int(Device().State().colour), 0x5A);
    h.tool->R1Click();
    QCOMPARE(int(Device().State().colour), 0x3C);

    // Compile&go saves the list beside the program.
    h.tool->N3Click();
    const std::string saved = ReadFile(h.host->ColourFilePath());
    const std::string first = Sjis("色全背景=$3C\r\n");
    QCOMPARE(saved.substr(0, first.size()), first);
    QCOMPARE(saved.substr(saved.size() - 4), std::string("\r\n\r\n"));  // the empty last line
  }

  void palettePickingSetsTheTrackBarAndTheSelectedLine() {
    Harness h;
    h.tool->PaintBox1->resize(120, 448);
    h.tool->RadioColorClick(1);  // 色メータ背景
    QTest::mousePress(h.tool->PaintBox1, Qt::LeftButton, {}, QPoint(119, 447));
    QCOMPARE(h.tool->TrackBar1->value(), 255);
    QCOMPARE(h.tool->ColorList()[1], Sjis("色メータ背景=$FF"));
    QMouseEvent move(QEvent::MouseMove, QPointF(31, 8), QPointF(31, 8), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(h.tool->PaintBox1, &move);
    QCOMPARE(h.tool->TrackBar1->value(), 5);  // column 1, row 1
    QCOMPARE(h.tool->ColorList()[1], Sjis("色メータ背景=$05"));
    QTest::mouseRelease(h.tool->PaintBox1, Qt::LeftButton, {}, QPoint(31, 8));
    QMouseEvent after(QEvent::MouseMove, QPointF(0, 0), QPointF(0, 0), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(h.tool->PaintBox1, &after);
    QCOMPARE(h.tool->TrackBar1->value(), 5);
    QCOMPARE(PaletteBox::ColourAt(-5, 9999, 120, 448), 255);
  }

  void badColourValueIsReportedAndChangesNothing() {
    Harness h;
    h.tool->RadioColorClick(33);  // the empty last line
    QCOMPARE(h.errors.size(), std::size_t{1});
    h.tool->SetColourList({Sjis("赤い=xyz")});
    const int before = h.tool->TrackBar1->value();
    h.tool->RadioColorClick(0);
    QCOMPARE(h.errors.size(), std::size_t{2});
    QCOMPARE(h.tool->TrackBar1->value(), before);
    QCOMPARE(h.tool->PanelColor->text(), QString("xyz"));
    QCOMPARE(h.tool->ColorList()[0], Sjis("赤い=xyz"));
  }

  void unconvertibleCharacterIsReportedBeforeCompiling() {
    Harness h;
    h.tool->Editor1->Text()->setText(U("GOTO INIT\nd(\"ER\") // 😀\n"));
    h.tool->N3Click();
    QCOMPARE(h.tool->ErrLog().size(), std::size_t{1});
    QVERIFY(h.tool->ErrMemo->toPlainText().contains(U("😀")));
    QVERIFY(h.tool->ErrLog()[0].find("U+1F600") != std::string::npos);
    QVERIFY(h.tool->ErrLog()[0].find(Sjis("2行目")) != std::string::npos);
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabErr);
    QCOMPARE(h.dm->Macro.Items().Strings().size(), std::size_t{5});  // not replaced
    QVERIFY_THROWS_EXCEPTION(EncodingError, h.tool->Editor1->SaveToFile(h.host->MacroFilePath()));
    QVERIFY(!std::filesystem::exists(h.host->MacroFilePath()));
  }

  void saveWritesBothFilesAndLoadReadsAnyFile() {
    Harness h;
    h.tool->SetEditorLines({Sjis("// 保存"), "EXIT"});
    h.tool->Save1Click();
    QCOMPARE(ReadFile(h.host->MacroFilePath()), Sjis("// 保存") + "\r\nEXIT\r\n");
    QVERIFY(std::filesystem::exists(h.host->ColourFilePath()));
    QCOMPARE(h.tool->ExternalEditAge(), std::int64_t{0});

    WriteFileAtomic("other.txt", "A:\rGOTO A\n");
    h.tool->openDialog = [] { return QString("other.txt"); };
    h.tool->L1Click();
    std::vector<std::string> lines;
    std::string error;
    QVERIFY(h.tool->EditorLines(lines, error));
    QCOMPARE(lines, (std::vector<std::string>{"A:", "GOTO A"}));
    h.tool->openDialog = [] { return QString("missing.txt"); };
    h.tool->L1Click();
    QCOMPARE(h.errors.size(), std::size_t{1});
    QVERIFY(h.errors[0].find("missing.txt") != std::string::npos);
    QVERIFY(h.tool->EditorLines(lines, error));
    QCOMPARE(lines.size(), std::size_t{2});  // unchanged
  }

  void otherEditorTextComesBackOnlyWhenTheFileChanged() {
    Harness h;
    h.tool->SetEditorLines({"GOTO X", "X:"});
    h.tool->N2Click();
    QCOMPARE(h.opener->opened, std::vector<std::string>{h.host->MacroFilePath()});
    QCOMPARE(ReadFile(h.host->MacroFilePath()), std::string("GOTO X\r\nX:\r\n"));
    h.tool->Editor1->Text()->setText("changed here");
    h.tool->FormActivate();  // no save in the other editor
    QCOMPARE(h.tool->Editor1->Text()->text(), QString("changed here"));

    const std::string path = h.host->MacroFilePath();
    { std::ofstream(path, std::ios::binary | std::ios::app) << "EXIT\r\n"; }
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    h.tool->FormActivate();
    std::vector<std::string> lines;
    std::string error;
    QVERIFY(h.tool->EditorLines(lines, error));
    QCOMPARE(lines, (std::vector<std::string>{"GOTO X", "X:", "EXIT"}));
  }

  void pageFilesRoundTripAndMissingFilesAreReported() {
    Harness h;
    h.tool->Button3Click();
    QCOMPARE(h.errors.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(h.errors[0]), U("「VRAM0.bmp」を読めません: ファイルがありません"));
    Device().ExecuteLine("PS2");
    Device().ExecuteLine("CS1C");
    Device().ExecuteLine("ER");
    const std::vector<std::uint8_t> page2(Device().Page(2), Device().Page(2) + 640 * 480);
    h.tool->Button2Click();
    for (const char* f : {"VRAM0.bmp", "VRAM1.bmp", "VRAM2.bmp", "VRAM3.bmp"}) QVERIFY2(std::filesystem::exists(f), f);
    Device().ExecuteLine("CS00");
    Device().ExecuteLine("ER");
    h.tool->Button3Click();
    QCOMPARE(h.errors.size(), std::size_t{1});
    QVERIFY(std::vector<std::uint8_t>(Device().Page(2), Device().Page(2) + 640 * 480) == page2);
    Device().ExecuteLine("PS0");
  }

  void listingAndLabelPage() {
    Harness h;
    h.tool->Memo1->setPlainText("A:\nx=1\nGOTO A\n");
    h.tool->R1Click();
    QVERIFY(h.tool->MLabel->toPlainText().startsWith("A="));
    QVERIFY(h.tool->MVariable->toPlainText().startsWith("x="));
    QVERIFY(h.dm->LabelTable().empty());  // a test compile leaves the label table alone
    h.tool->PCODElist1Click();
    QCOMPARE(h.opener->opened, std::vector<std::string>{"PCODEL.txt"});
    QVERIFY(!ReadFile("PCODEL.txt").empty());
    h.tool->PageControl1->setCurrentWidget(h.tool->TabLabel);
    QVERIFY(h.tool->MExtFunc->toPlainText().startsWith("d\n"));
    QVERIFY(h.tool->MExtLabel->toPlainText().startsWith("DTIME1\n"));
    QVERIFY(!h.tool->MConst->toPlainText().isEmpty());
  }

  void runMessageMarksTheLineOfItsPc() {
    Harness h;
    h.tool->SetEditorLines({"GOTO INIT", "onRUN:", "EXIT", "INIT:", "L:", "GOTO L"});
    h.tool->N3Click();  // runs into the endless loop
    QVERIFY(h.tool->windowTitle().contains(U("無限ループ")));
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabMacro);
    QVERIFY(h.tool->Editor1->Text()->markersAtLine(5) != 0);  // GOTO L
    QCOMPARE(h.tool->Editor1->Text()->markersAtLine(4), 0u);
    // After a test compile the compiler's lines are the script's: no mark.
    h.tool->Memo1->setPlainText("x=1\ny=2\nz=3\nw=4\nv=5\nu=6\n");
    h.tool->R1Click();
    h.tool->ShowRunMessage("pc=  8:" + Sjis("無限ループ"));
    QCOMPARE(h.tool->Editor1->Text()->markersAtLine(5), 0u);
  }

  void errorLineDoubleClickPutsTheCaretThere() {
    Harness h;
    h.tool->SetEditorLines({"GOTO INIT", "INIT:", "box(1,", "x=1", "EXIT"});
    h.tool->show();
    h.tool->N3Click();
    QVERIFY(!h.tool->ErrLog().empty());
    const QPoint at = h.tool->ErrMemo->cursorRect(QTextCursor(h.tool->ErrMemo->document())).center();
    QTest::mouseDClick(h.tool->ErrMemo->viewport(), Qt::LeftButton, {}, at);
    int line = -1, index = -1;
    h.tool->Editor1->Text()->getCursorPosition(&line, &index);
    QCOMPARE(h.tool->PageControl1->currentWidget(), h.tool->TabMacro);
    // The compiler numbers lines from 0, as the editor does.
    QCOMPARE(line, std::atoi(h.tool->ErrLog()[0].c_str()));
    QVERIFY(line > 0);
  }

  void bitmapGoesToTheFocusedControlOrTheClipboard() {
    Harness h;
    h.tool->show();
    QApplication::setActiveWindow(h.tool.get());
    h.tool->PageControl1->setCurrentWidget(h.tool->TabView);
    QImage img(17, 16, QImage::Format_RGB32);
    img.fill(Qt::white);
    QApplication::clipboard()->setImage(img);
    h.tool->Tool1Click();
    QVERIFY(h.tool->BitMapPast1->isEnabled());
    h.tool->Memo2->setFocus();
    QCOMPARE(QApplication::focusWidget(), h.tool->Memo2);
    h.tool->BitMapPast1Click();
    const QStringList lines = h.tool->Memo2->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], "GI" + QString("%80%00").repeated(16));
    QVERIFY(!h.tool->Image1->pixmap().isNull());

    // With the focus on a button the text replaces the picture on the clipboard.
    h.tool->Button1->setFocus();
    h.tool->BitMapPast1Click();
    QCOMPARE(QApplication::clipboard()->text(),
             "GI(" + QString("%FF%FF").repeated(16) + ")\r\nGI(" + QString("%80%00").repeated(16) + ")");
    h.tool->Tool1Click();
    QVERIFY(!h.tool->BitMapPast1->isEnabled());
  }

  void tracerWritesToThePageInFront() {
    Harness h;
    NullSurface s;
    h.tool->show();
    h.tool->PageControl1->setCurrentWidget(h.tool->TabTool);
    h.tool->TraceLine({true, false}, 10, 20, MouseEventKind::Press, s);
    h.tool->TraceLine({true, false}, 40, 25, MouseEventKind::Move, s);
    QCOMPARE(h.tool->LabMouse->text(), QString("   40,   25"));
    h.tool->TraceLine({false, false}, 40, 25, MouseEventKind::Release, s);
    h.tool->PageControl1->setCurrentWidget(h.tool->TabView);
    h.tool->TraceLine({false, true}, 0, 0, MouseEventKind::Press, s);
    QCOMPARE(h.tool->Memo1->toPlainText(), QString("line(10,20,30,5)\n"));
    QCOMPARE(h.tool->LabMouse->text(), QString("   40,   25"));
  }

  void displayPageTraceAndGrid() {
    Harness h;
    h.tool->RadioGroup1Buttons->button(2)->click();
    QCOMPARE(Device().DisplayPage(), 2);
    QCOMPARE(h.link.sent, std::vector<std::string>{"DS2"});  // sent even with CheckRun off
    h.tool->RadioGroup1Click(0);

    h.tool->Debug1->trigger();
    QVERIFY(TraceEnabled());
    h.tool->Memo1->setPlainText("x=1\n");
    h.tool->R1Click();
    QVERIFY(h.tool->TracePane->document()->blockCount() >= 2);
    h.tool->Debug1->trigger();
    QVERIFY(!TraceEnabled());

    const auto overlays = [] {
      int n = 0;
      for (QWidget* w : QApplication::topLevelWidgets()) n += qobject_cast<GridOverlay*>(w) != nullptr && w->isVisible();
      return n;
    };
    h.tool->Edit1->setText("0");
    h.tool->Button5Click();
    QCOMPARE(overlays(), 0);
    h.tool->Edit1->setText(U("16,\u00e916"));  // no longer ends the program
    h.tool->Button5Click();
    QCOMPARE(overlays(), 0);
    QVERIFY(QString::fromStdString(Cp932ToUtf8(h.tool->Message())).startsWith(U("間隔: 1行目の文字 U+00E9")));
    h.tool->Edit1->setText("16,16");
    h.tool->Button5Click();
    QCOMPARE(overlays(), 1);
    QTest::mouseClick(h.tool->Button6, Qt::LeftButton);  // any click in the program ends it
    QCOMPARE(overlays(), 0);
  }

  void dragOnTheDisplayWritesTheLineAndDrawsTheBand() {
    Harness h;
    TQMT3308 device;
    DisplayView view(device);
    view.resize(640, 480);
    RubberBand* band = AttachLineTracer(view, *h.tool);
    h.tool->PageControl1->setCurrentWidget(h.tool->TabMacro);
    h.tool->SetEditorLines({});
    const auto move = [&](int x, int y, Qt::MouseButtons held) {
      QMouseEvent e(QEvent::MouseMove, QPointF(x, y), QPointF(x, y), Qt::NoButton, held, {});
      QApplication::sendEvent(&view, &e);
    };
    // Drag, let go, then a right click.
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(10, 20));
    move(40, 25, Qt::LeftButton);
    QCOMPARE(band->Lines().size(), std::size_t{1});
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(40, 25));
    QVERIFY(!h.tool->Tracer().Dragging());  // letting go ends the drag
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(300, 300));
    QCOMPARE(h.tool->Editor1->Text()->text(), QString("line(10,20,30,5)\r\n"));
    QVERIFY(band->Lines().empty());

    // A right click while dragging leaves the band drawn until a new drag.
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 100));
    move(120, 110, Qt::LeftButton);
    QTest::mousePress(&view, Qt::RightButton, {}, QPoint(120, 110));
    QVERIFY(h.tool->Editor1->Text()->text().endsWith("line(100,100,20,10)\r\n"));
    QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(120, 110));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(120, 110));
    move(130, 130, Qt::NoButton);
    QCOMPARE(band->Lines().size(), std::size_t{1});
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(200, 200));
    QCOMPARE(band->Lines().size(), std::size_t{1});
    QCOMPARE(band->Lines()[0].first.x, 200);
  }

  void gridReadsPairsAndSpacesLines() {
    std::string error;
    struct Case {
      const char* text;
      int x, y;
    } pairs[] = {{" 0 , 0", 0, 0}, {"16,16", 16, 16}, {"10", 10, 10}, {"8 ,  $10", 8, 16}, {"-4,7", -4, 7}};
    for (const Case& c : pairs) {
      const auto p = ReadGridPair(c.text, error);
      QVERIFY2(p.has_value(), c.text);
      QCOMPARE(p->x, c.x);
      QCOMPARE(p->y, c.y);
    }
    QVERIFY(!ReadGridPair("abc", error));
    QVERIFY(!error.empty());

    const auto lines = GridLines({10, 10}, {16, 16}, 640, 480);
    QVERIFY(lines.size() >= 3);
    QCOMPARE(lines[0].x0, 10);
    QCOMPARE(lines[1].x0, 26);
    QCOMPARE(lines[2].x0, 42);
    QCOMPARE(lines[0].y1, 480);
    int vertical = 0;
    for (const GridLine& l : lines) vertical += l.x0 == l.x1;
    QCOMPARE(vertical, 40);                                  // 10 ... 634
    QCOMPARE(static_cast<int>(lines.size()) - vertical, 30);  // 10 ... 474
    QVERIFY(GridLines({0, 0}, {0, 16}, 640, 480).empty());
    QVERIFY(GridLines({0, 0}, {16, -1}, 640, 480).empty());
  }

  // Pictures for the documentation: set QMT_DOCS_DIR and run under a display.
  void screenshots() {
    const QByteArray out = qgetenv("QMT_DOCS_DIR");
    if (out.isEmpty()) QSKIP("QMT_DOCS_DIR not set");
    Harness h;
    TDM fresh(*h.tool);  // the default macro
    h.host->SetDataModule(&fresh);
    DataModuleMacroSource source(fresh);
    h.tool->resize(900, 640);
    h.tool->show();
    source.CompileMacro();
    QVERIFY(h.tool->ErrLog().empty());
    h.tool->PageControl1->setCurrentWidget(h.tool->TabMacro);
    h.tool->Editor1->Text()->setCursorPosition(0, 0);
    QTest::qWait(200);
    QVERIFY(h.tool->grab().save(QString(out) + "/tool-macro.png"));

    h.tool->PageControl1->setCurrentWidget(h.tool->TabView);
    const char* glyph = "GI(\"%00%00%3F%FC%20%04%2F%F4%28%14%2B%D4%2A%54%2A%54%2A%54%2A%54%2B%D4%28%14%2F%F4%20%04%3F%FC%00%00\")\n";
    QString script = U("// 試験スクリプト\nd(\"DS0\"):d(\"PS0\")\nc(黄)\nbox(20,20,200,120,1)\nline(20,150,200,40)\n"
                       "text(\"ポンプ\",40,200,16)\nd(\"PA300,100,0\")\n");
    for (int i = 0; i < 3; ++i) script += glyph;
    script += "d(\"PR-48,16,0\")\n";
    for (int i = 0; i < 3; ++i) script += glyph;
    h.tool->Memo1->setPlainText(script);
    h.tool->R1Click();
    QTest::qWait(200);
    QVERIFY(h.tool->grab().save(QString(out) + "/tool-test.png"));
    h.host->SetDataModule(h.dm.get());
  }

  void editorColoursTheLanguage() {
    MacroEditor editor;
    editor.Text()->setText(U("IF x THEN GOSUB 流量 // note\n\"str\" $1F /* a\nb */ gosubx"));
    editor.Text()->recolor();
    const auto styleAt = [&](int pos) {
      return static_cast<int>(editor.Text()->SendScintilla(QsciScintilla::SCI_GETSTYLEAT, pos));
    };
    const QByteArray bytes = editor.Text()->text().toUtf8();
    const auto at = [&](const char* utf8) { return static_cast<int>(bytes.indexOf(utf8)); };
    QCOMPARE(styleAt(at("IF")), int(MacroLexer::Keyword));
    QCOMPARE(styleAt(at("x ")), int(MacroLexer::Default));
    QCOMPARE(styleAt(at("GOSUB")), int(MacroLexer::Keyword));
    QCOMPARE(styleAt(at("流量")), int(MacroLexer::Keyword));
    QCOMPARE(styleAt(at("note")), int(MacroLexer::LineComment));
    QCOMPARE(styleAt(at("str")), int(MacroLexer::String));
    QCOMPARE(styleAt(at("$1F") + 2), int(MacroLexer::Number));
    QCOMPARE(styleAt(at("b */")), int(MacroLexer::BlockComment));
    QCOMPARE(styleAt(at("gosubx")), int(MacroLexer::Default));
    QCOMPARE(editor.Text()->tabWidth(), 8);
    QVERIFY(editor.Text()->autoIndent());
  }
};

QTEST_MAIN(ScrToolTest)
#include "scr_tool_test.moc"
