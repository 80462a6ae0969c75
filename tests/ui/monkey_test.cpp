// A seeded monkey: the simulator window, the sensor panel and the tool
// window, put together as the program does, driven by thousands of random
// but valid actions.  After every action nothing may have crashed, no dialog
// may have escaped the message paths, and Qt may have warned of nothing; now
// and then a probe macro is compiled and run to prove the macro still runs.
//
//   QMT_MONKEY_SEED=N     replays one run (the seed is printed at the start)
//   QMT_MONKEY_STEPS=N    the number of actions (default 400)
//   QMT_MONKEY_VERBOSE=1  prints each step's action
//   QMT_MONKEY_ONLY=N,M   takes only those actions of the table (narrows a failure)
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/macro_compile.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "ui/display_view.h"
#include "ui/macro_editor.h"
#include "ui/main_window.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_band.h"
#include "ui/scr_tool_binding.h"
#include "ui/sensor_panel.h"

using namespace qmt;

namespace {

// Qt's warnings during a run; the offscreen platform's own notes are not
// faults of the program.
QStringList gWarnings;

void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (text.contains("This plugin does not support")) return;
  gWarnings << text;
  std::fprintf(stderr, "Qt: %s\n", qPrintable(text));
}

// The desktop's "Open" is not called from a test.
struct CountingOpener : ShellOpener {
  void Open(const std::string&, std::function<void(const QString&)>) override { ++opened; }
  int opened = 0;
};

struct QuietLink : SimLink {
  bool SendLine(std::string_view) override { return true; }
  bool DeviceBusy() override { return false; }
};

// The runner as the program has it, remembering the labels it is run from.
struct CountingRunner : SimRunner {
  explicit CountingRunner(TRunner& r) : port(r) {}
  void SetHandlers(Handler m, Handler l) override { port.SetHandlers(m, l); }
  void SetLabelList(const std::vector<std::string>& l) override { port.SetLabelList(l); }
  void LoadImage(const std::vector<std::uint8_t>& image) override { port.LoadImage(image); }
  void RunFrom(std::optional<std::string_view> label) override {
    runs.emplace_back(label ? *label : "");
    port.RunFrom(label);
  }
  std::int16_t Ext(int id) const override { return port.Ext(id); }
  void SetExt(int id, std::int16_t v) override { port.SetExt(id, v); }
  RunnerPort port;
  std::vector<std::string> runs;
};

// Run messages on their way to the message window.
struct RecordingMessages : SimMessages {
  explicit RecordingMessages(TfScrTool& t) : tool(t) {}
  void ShowRunMessage(const std::string& m) override {
    shown.push_back(m);
    tool.ShowRunMessage(m);
  }
  TfScrTool& tool;
  std::vector<std::string> shown;
};

// Macro text, code page 932 where it matters: good lines, broken lines,
// lines that run away.
const char* const kFragments[] = {
    "GOTO INIT\n", "INIT:\n", "EXIT\n", "x = x + 1\n", "IF x > 3 THEN x = 0\n", "DO 4\n", "WHILE @0 > (-1)\n",
    "d(\"ER\")\n", "d(\"CS1F\"): d(\"TA0,0,99,99,1\")\n", "box(0,0,639,479,$E0)\n", "GOSUB NOWHERE\n",
    "L: GOTO L\n", "x = (1 +\n", "RET 0\n", "\"unterminated\n", "/* open comment\n", "onRUN: d(\"DS1\"): EXIT\n",
    "y = 1 / 0\n", "#\n", "表示 = 1\n", "d(\"KW'2422'\")\n", "needle(0, 1, 2)\n", "num(1,2,3,4)\n", "@\n",
    "x = 70000\n", "IF !(x==1) THEN GOTO INIT\n", "\t  \n"};

const char* const kCommandLines[] = {"DS0",       "PS1",       "ER",          "CS1F",           "TA0,0,639,479,1",
                                     "LA0,0,639,479,1,R", "RA320,240,100", "CW'ABC'", "KW'2422'", "TF0,1",
                                     "BV1,2",     "FE",        "DS9",         "ZZ",             "TA1,2",
                                     "CP99,99",   "\\x1b",     "",            "TIzz",           "HW'\x82\xa0'"};

const char* const kScripts[] = {"d(\"DS1\")\r\nEXIT", "x = 1\r\nd(\"ER\")", "L: GOTO L", "x = (", "GOSUB X",
                                "box(0,0,10,10,1)", "#"};

}  // namespace

class MonkeyTest : public QObject {
  Q_OBJECT
 private slots:
  void randomActionsLeaveTheProgramWorking();
};

void MonkeyTest::randomActionsLeaveTheProgramWorking() {
  const QByteArray seedText = qgetenv("QMT_MONKEY_SEED");
  const unsigned seed = seedText.isEmpty() ? std::random_device{}() : seedText.toUInt();
  const int steps = qEnvironmentVariableIsSet("QMT_MONKEY_STEPS") ? qEnvironmentVariableIntValue("QMT_MONKEY_STEPS")
                                                                   : 400;
  std::printf("monkey seed %u, %d steps (replay: QMT_MONKEY_SEED=%u QMT_MONKEY_STEPS=%d)\n", seed, steps, seed,
              steps);
  std::fflush(stdout);
  const bool verbose = qEnvironmentVariableIsSet("QMT_MONKEY_VERBOSE");
  const QStringList only = qEnvironmentVariable("QMT_MONKEY_ONLY").split(',', Qt::SkipEmptyParts);
  std::mt19937 random(seed);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };

  // The program, as start-up puts it together, in a scratch working folder.
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString oldDir = QDir::currentPath();
  QDir::setCurrent(dir.path());
  ConfigFiles files;
  files.macroFile = dir.filePath("qmtsimMacro.txt").toStdString();
  files.colorFile = dir.filePath("qmtsimColor.txt").toStdString();
  TRunner mainRunner;
  CountingRunner runner(mainRunner);
  QuietLink link;
  DevicePort display;
  TdmToolHost host(files);
  TfScrTool tool(host);
  QStringList boxes;  // what went to message boxes
  tool.errorBox = [&](const QString& m) { boxes << m; };
  auto opener = std::make_shared<CountingOpener>();
  tool.SetShellOpener(opener);
  tool.openDialog = [&] { return dir.filePath(pick(2) ? "dropped.txt" : "missing.txt"); };
  tool.recoveryPrompt = [](const QString&) { return true; };
  tool.EnableRecovery(dir.filePath("recovery/macro.txt").toStdString(), 50);
  RecordingMessages messages(tool);
  TDM dm(tool);
  host.SetDataModule(&dm);
  const std::vector<std::string> defaultMacro = dm.Macro.Items().Strings();
  DataModuleMacroSource macro(dm);
  Simulator sim({&runner, &macro, &messages, &link, &display});
  host.SetSimulator(&sim);
  host.SetLink(&link);
  TFDemo window(sim, Device());
  TfSens sensors(sim, &window);
  window.showMessage = [&](const QString& m) { boxes << m; };
  window.showSensorPanel = [&] { sensors.show(); };
  window.showToolWindow = [&] { tool.show(); };
  AttachLineTracer(*window.PaintBox1(), tool);
  // Ticks only when the monkey says so, so that a seed replays exactly.
  window.Timer1().stop();
  sensors.Timer1().stop();
  window.show();
  window.Timer1().stop();
  sensors.show();
  tool.show();

  // A dialog that opens would wait for a user: record it and close it.
  QStringList escaped;
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      escaped << modal->windowTitle();
      if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
      else modal->close();
    }
  });
  watchdog.start(100);
  gWarnings.clear();
  const QtMessageHandler previousHandler = qInstallMessageHandler(CollectWarnings);

  // Files to drop and load: good and broken of each kind.
  const std::string pageFile = dir.filePath("page.bmp").toStdString();
  Device().SavePage(0, pageFile);
  const std::string good = ReadFile(pageFile);
  WriteFileAtomic(dir.filePath("truncated.bmp").toStdString(), good.substr(0, good.size() / 3));
  WriteFileAtomic(dir.filePath("garbage.jpg").toStdString(), "\xff\xd8\xff\xe0 not really a picture");
  WriteFileAtomic(dir.filePath("dropped.txt").toStdString(), "GOTO INIT\r\nINIT:\r\nd(\"ER\")\r\nEXIT\r\n");
  WriteFileAtomic(dir.filePath("broken.txt").toStdString(), "GOTO NOWHERE\r\nx = (\r\n");
  WriteFileAtomic(dir.filePath("binary.txt").toStdString(), std::string("\x00\x81\xff\r\n\x82", 6));
  WriteFileAtomic(dir.filePath("notes.doc").toStdString(), "x");
  const QStringList drops = {"page.bmp", "truncated.bmp", "garbage.jpg", "dropped.txt", "broken.txt",
                             "binary.txt", "notes.doc",   "missing.bmp"};

  auto setEditor = [&](const QString& text) { tool.Editor1->Text()->setText(text); };
  auto fromCp932 = [](const std::string& s) { return QString::fromStdString(Cp932ToUtf8(s)); };
  auto joined = [&](const std::vector<std::string>& lines) {
    return fromCp932(JoinLinesCrLf(lines));
  };

  // The probe: a macro whose key handler paints the display page one colour.
  const std::string probeLabel = Sjis(kKeys[0].label);
  auto probe = [&](int step) {
    const int colour = 1 + pick(254);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", colour);
    const std::string text = "GOTO INIT\r\nINIT:\r\nEXIT\r\n" + probeLabel + ":\r\n d(\"PS0\"): d(\"DS0\"): d(\"CS" +
                             hex + "\"): d(\"TA0,0,639,479,1\")\r\n EXIT\r\n";
    setEditor(fromCp932(text));
    tool.N3Click();
    if (!tool.ErrLog().empty())
      QFAIL(qPrintable(QString("step %1: the probe macro did not compile: %2").arg(step).arg(fromCp932(tool.ErrLog().front()))));
    const std::size_t before = runner.runs.size();
    window.Key(0)->click();
    QVERIFY2(runner.runs.size() == before + 1 && runner.runs.back() == probeLabel,
             qPrintable(QString("step %1: a key did not run its label").arg(step)));
    const std::uint8_t* page = Device().DisplayPageBytes();
    bool drawn = true;  // TA fills up to, not including, the far corner
    for (int y = 0; y < 479; ++y)
      drawn = drawn && std::all_of(page + y * 640, page + y * 640 + 639, [&](std::uint8_t b) { return b == colour; });
    QVERIFY2(drawn, qPrintable(QString("step %1: the probe macro did not draw").arg(step)));
  };

  using Action = std::function<void()>;
  const std::vector<std::pair<int, Action>> actions = {
      {6, [&] { window.Key(pick(static_cast<int>(kKeys.size())))->click(); }},
      {5,
       [&] {
         QSlider* s = window.Track(static_cast<Slider>(pick(kSliderCount)));
         s->setValue(s->minimum() + pick(s->maximum() - s->minimum() + 1));
       }},
      {4, [&] { sensors.Box(pick(kSwitchCount))->click(); }},
      {6,
       [&] {
         for (int i = 1 + pick(5); i > 0; --i) window.Timer1Timer();
         sensors.Timer1Timer();
       }},
      {2, [&] { tool.RadioGroup1Buttons->button(pick(4))->click(); }},
      {2,
       [&] {
         const QList<QAction*> zooms = window.menuBar()->findChildren<QAction*>();
         for (QAction* a : zooms)
           if (a->isCheckable() && a->text().startsWith(QString::number(1 + pick(3)))) a->trigger();
       }},
      {2, [&] { window.CheckTimer()->click(); }},
      {1, [&] { window.CheckRun()->click(); }},
      // The editor: typing, fragments, deletions, whole macros; compile&go.
      {5,
       [&] {
         QsciScintilla* t = tool.Editor1->Text();
         t->setCursorPosition(pick(t->lines() + 1), pick(20));
         t->insert(QString::fromUtf8(kFragments[pick(std::size(kFragments))]));
       }},
      {2,
       [&] {
         QsciScintilla* t = tool.Editor1->Text();
         t->setFocus();
         t->setCursorPosition(pick(t->lines() + 1), 0);
         // Typed one key at a time; a character beyond ASCII comes as an
         // input method would deliver it, as text with no key code.
         for (QChar c : QString::fromUtf8(kFragments[pick(std::size(kFragments))]).trimmed()) {
           if (c.unicode() < 0x80) {
             QTest::keyClick(t, c.toLatin1());
           } else {
             QTest::sendKeyEvent(QTest::Press, t, Qt::Key_unknown, QString(c), Qt::NoModifier);
             QTest::sendKeyEvent(QTest::Release, t, Qt::Key_unknown, QString(c), Qt::NoModifier);
           }
         }
         QTest::keyClick(t, pick(2) ? Qt::Key_Return : Qt::Key_Backspace);
       }},
      {2,
       [&] {
         QsciScintilla* t = tool.Editor1->Text();
         const int from = pick(t->lines() + 1);
         t->setSelection(from, 0, from + pick(4), pick(10));
         t->removeSelectedText();
       }},
      {2, [&] { setEditor(joined(pick(2) ? defaultMacro : std::vector<std::string>{"GOTO INIT", "x = ("})); }},
      {5,
       [&] {
         if (verbose) std::printf("compile&go:\n%s\n", qPrintable(tool.Editor1->Text()->text()));
         tool.N3Click();
       }},
      {1, [&] { tool.Save1Click(); }},
      {1, [&] { tool.L1Click(); }},
      {1, [&] { tool.N2Click(); }},
      {1, [&] { tool.PCODElist1Click(); }},
      // The command test page: scripts and command lines, junk included.
      {3,
       [&] {
         tool.Memo1->setPlainText(QString::fromUtf8(kScripts[pick(std::size(kScripts))]));
         tool.R1Click();
       }},
      {3,
       [&] {
         QString lines;
         for (int i = 1 + pick(4); i > 0; --i)
           lines += fromCp932(kCommandLines[pick(std::size(kCommandLines))]) + "\n";
         tool.Memo2->setPlainText(lines);
         tool.Button4Click();
       }},
      // Converter and tracer.
      {2,
       [&] {
         QImage image(1 + pick(64), 1 + pick(64), QImage::Format_RGB32);
         for (int y = 0; y < image.height(); ++y)
           for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, pick(2) ? 0xFFFFFFFF : 0xFF000000);
         if (pick(4)) QGuiApplication::clipboard()->setImage(image);
         else QGuiApplication::clipboard()->setText("no picture");
         QWidget* targets[] = {tool.Memo1, tool.Memo2, tool.Editor1->Text(), tool.PageControl1};
         targets[pick(4)]->setFocus();
         tool.Tool1Click();
         tool.BitMapPast1Click();
       }},
      {4,
       [&] {
         QWidget* view = window.PaintBox1();
         const QPoint at(pick(view->width()), pick(view->height()));
         const Qt::MouseButton button = pick(2) ? Qt::LeftButton : Qt::RightButton;
         switch (pick(3)) {
           case 0: QTest::mousePress(view, button, Qt::NoModifier, at); break;
           case 1: QTest::mouseMove(view, at); break;
           default: QTest::mouseRelease(view, button, Qt::NoModifier, at); break;
         }
       }},
      {1, [&] { tool.Debug1->trigger(); }},
      // Page files, good and spoilt, and drops.
      {2, [&] { tool.Button2Click(); }},
      {2,
       [&] {
         if (pick(3) == 0) {
           const std::string file = "VRAM" + std::to_string(pick(4)) + ".bmp";
           std::ofstream(file, std::ios::binary | std::ios::trunc) << good.substr(0, pick(static_cast<int>(good.size())));
         }
         tool.Button3Click();
       }},
      {3, [&] { window.DropFiles({dir.filePath(drops[pick(drops.size())])}); }},
      // Pages, colours, grid.
      {3, [&] { tool.PageControl1->setCurrentIndex(pick(tool.PageControl1->count())); }},
      {2,
       [&] {
         const QList<QAbstractButton*> colours = tool.RadioColorButtons->buttons();
         if (!colours.isEmpty()) colours[pick(colours.size())]->click();
         tool.TrackBar1->setValue(pick(256));
       }},
      {1, [&] { tool.Button6->click(); }},
      {2,
       [&] {
         const char* grids[] = {"16,16", " 0 , 0", "0,0", "-5,x", "640,480", "1,1", ""};
         tool.Edit1->setText(grids[pick(std::size(grids))]);
         tool.Edit2->setText(grids[pick(std::size(grids))]);
         tool.Button5Click();
       }},
  };
  int totalWeight = 0;
  for (const auto& a : actions) totalWeight += a.first;

  for (int step = 0; step < steps; ++step) {
    int roll = pick(totalWeight), chosen = 0;
    while (roll >= actions[chosen].first) roll -= actions[chosen++].first;
    if (!only.isEmpty() && !only.contains(QString::number(chosen))) continue;
    const std::size_t shownBefore = messages.shown.size();
    if (verbose) std::printf("step %d: action %d\n", step, chosen);
    actions[chosen].second();
    QCoreApplication::processEvents();

    const QString where = QString("seed %1 step %2 action %3").arg(seed).arg(step).arg(chosen);
    QVERIFY2(escaped.isEmpty(), qPrintable(where + ": a dialog opened: " + escaped.join(", ")));
    QVERIFY2(gWarnings.isEmpty(), qPrintable(where + ": Qt warned: " + gWarnings.join(" | ")));
    // A run message of this step is what the message window shows now.
    if (messages.shown.size() > shownBefore && tool.Message() != messages.shown.back())
      QFAIL(qPrintable(where + ": the message " + fromCp932(messages.shown.back()) + " is not shown"));
    if (step % 50 == 49) {
      probe(step);
      if (QTest::currentTestFailed()) {
        std::printf("monkey failed: replay with QMT_MONKEY_SEED=%u QMT_MONKEY_STEPS=%d\n", seed, step + 1);
        break;
      }
    }
    if (QTest::currentTestFailed()) break;
  }
  if (QTest::currentTestFailed())
    std::printf("monkey failed: replay with QMT_MONKEY_SEED=%u QMT_MONKEY_STEPS=%d\n", seed, steps);
  probe(steps);
  qInstallMessageHandler(previousHandler);
  QDir::setCurrent(oldDir);
}

QTEST_MAIN(MonkeyTest)
#include "monkey_test.moc"
