// Recording in the simulator window and replaying the recording, headless
// and in the window: the pages come out byte for byte the same.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "device/png.h"
#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/debug_binding.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/scenario.h"
#include "host/scenario_machine.h"
#include "host/simulator_binding.h"
#include "compiler/script.h"
#include "runtime/builtins.h"
#include "runtime/debugger.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"
#include "ui/main_window.h"
#include "ui/scenario_review_dialog.h"
#include "ui/scenario_session.h"
#include "ui/sensor_panel.h"

using namespace qmt;

namespace {

CompiledMacro BuiltInMacro() {
  HeadlessToolWindow tool;
  TDM dm(tool);
  dm.DataModuleCreate();
  dm.CompileMacro();
  CompiledMacro m{dm.Script1.Code(), {}};
  dm.Script1.ListLabels(m.labels);
  return m;
}

// The window over the real runner and a device of its own, its timer
// stopped so that the test decides when ticks come.
struct Stack {
  explicit Stack(const CompiledMacro& m) : macro(m) {
    runner.SetDevice(&device);
    runner.Context().state = state.get();
    window.Timer1().stop();
    window.showMessage = [](const QString& m) { QFAIL(qPrintable(m)); };
    sim.StartMacro();
  }
  void Tick(int waitMs) {
    if (waitMs > 0) QTest::qWait(waitMs);
    window.Timer1Timer();
  }
  std::array<std::vector<std::uint8_t>, 4> Pages() const {
    std::array<std::vector<std::uint8_t>, 4> pages;
    for (int p = 0; p < 4; ++p) pages[p].assign(device.Page(p), device.Page(p) + kPageBytes);
    return pages;
  }

  const CompiledMacro& macro;
  TQMT3308 device;
  std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
  TRunner runner;
  RunnerPort port{runner};
  ScenarioTap tap{port};
  CompiledMacroSource source{macro, runner};
  Simulator sim{{&tap, &source, nullptr, nullptr, nullptr}};
  TFDemo window{sim, device};
  TfSens sensors{sim};
  ScenarioSession session{window, sensors, device, tap, [this] { ResetForScenario(runner, device, sim); }};
};

}  // namespace

class ScenarioSessionTest : public QObject {
  Q_OBJECT
 private slots:
  void recordingReplaysToTheSamePages() {
    QTemporaryDir dir;
    const CompiledMacro macro = BuiltInMacro();
    Stack s(macro);
    // A session already under way: screen A, a slider, a sensor, ticks.
    s.window.Key(3)->click();
    s.window.Track(Slider::Pres)->setValue(500);
    s.sensors.Box(0)->click();
    s.sensors.Timer1Timer();
    for (int i = 0; i < 4; ++i) s.Tick(0);

    const QString file = dir.filePath("rec.scn");
    QVERIFY(s.session.StartRecording(file));
    s.window.Track(Slider::Rot)->setValue(800);
    s.window.Key(0)->click();
    // Ticks at uneven times: each keeps the step it took.
    for (int wait : {35, 47, 0, 20, 35, 90, 35, 35, 35, 35}) s.Tick(wait);
    s.sensors.Box(1)->click();
    s.sensors.Timer1Timer();
    s.Tick(35);
    s.window.CheckTimer()->click();
    s.Tick(35);
    s.window.CheckTimer()->click();
    s.window.Key(2)->click();
    for (int i = 0; i < 25; ++i) s.Tick(i % 3 ? 30 : 45);
    QVERIFY(s.session.ExpectScreenHere());
    s.window.Track(Slider::Level)->setValue(100);
    for (int i = 0; i < 10; ++i) s.Tick(33);
    QVERIFY(s.session.StopRecording());
    const auto recorded = s.Pages();

    const std::string text = ReadFile(file.toStdString());
    for (const char* step : {"slider pres=500", "box PTO on", "key 作動", "event chgSFT1", "timer off", "timer on",
                             "key 非常", "expect screen rec-1.png", "slider level=100", " step "})
      QVERIFY2(text.find(step) != std::string::npos, step);
    QVERIFY(QFile::exists(dir.filePath("rec-1.png")));

    // Headless, as qmt test replays it.
    Scenario scenario = ReadScenario(file.toStdString());
    ScenarioMachine machine(macro);
    ScenarioReport report = RunScenarioOn(machine, scenario, {});
    QVERIFY2(report.status == ScenarioReport::Status::kPassed, FailureText(report.failure).c_str());
    for (int p = 0; p < 4; ++p)
      QVERIFY2(std::memcmp(machine.Screen().Page(p), recorded[p].data(), kPageBytes) == 0, qPrintable(QString::number(p)));

    // In the window, as fast as possible, after more use of it.
    s.window.Track(Slider::Gang)->setValue(900);
    s.window.Key(4)->click();
    QSignalSpy done(&s.session, &ScenarioSession::finished);
    QVERIFY(s.session.StartReplay(file, true));
    QVERIFY(done.count() == 1 || done.wait(20000));
    QCOMPARE(done.at(0).at(1).toString(), QString("PASS rec"));
    QVERIFY(done.at(0).at(0).toBool());
    QVERIFY(s.Pages() == recorded);
    QCOMPARE(s.window.Track(Slider::Level)->value(), 100);
    QCOMPARE(s.window.Track(Slider::Gang)->value(), 0);
  }

  void replayReportsAFailedCheck() {
    QTemporaryDir dir;
    const CompiledMacro macro = BuiltInMacro();
    Stack s(macro);
    const QString file = dir.filePath("b.scn");
    QVERIFY(s.session.StartRecording(file));
    QVERIFY(s.session.ExpectScreenHere());
    QVERIFY(s.session.StopRecording());
    // The check was taken on screen A; show B first instead.
    WriteFileAtomic(file.toStdString(), "key 取扱\n" + ReadFile(file.toStdString()));
    QSignalSpy done(&s.session, &ScenarioSession::finished);
    QVERIFY(s.session.StartReplay(file, true));
    QVERIFY(done.count() == 1 || done.wait(20000));
    QVERIFY(!done.at(0).at(0).toBool());
    QVERIFY2(done.at(0).at(1).toString().startsWith("FAIL b: line 4 (expect screen b-1.png): screen differs in "),
             qPrintable(done.at(0).at(1).toString()));
    QVERIFY(s.window.Timer1().isActive());

    QString error;
    QVERIFY(!s.session.StartReplay(dir.filePath("none.scn"), true, &error));
    QVERIFY2(error.contains("none.scn"), qPrintable(error));
    QVERIFY2(error.contains(QString::fromUtf8("ファイルがありません")), qPrintable(error));
  }

  // A breakpoint in the timer's event: each tick stops there, and the next
  // tick comes only after the run has been continued.
  void replayWaitsWhileTheDebuggerHoldsARun() {
    QTemporaryDir dir;
    NameTables tables;
    TScript script, spare;
    QVERIFY(CompileMacroLines(script, tables, {"EXIT", Utf8ToCp932("時間割込:"), "  t = t + 1", "  EXIT"}).empty());
    CompiledMacro macro{script.Code(), {}};
    script.ListLabels(macro.labels);
    Stack s(macro);
    TDebugger debugger(s.runner);
    debugger.onImageLoaded = [&] {
      BindDebugger(debugger, script, spare, DebugNamesOf(tables));
      debugger.SetBreakpoints({{2, ""}});
    };
    debugger.onImageLoaded();
    const QString file = dir.filePath("t.scn");
    WriteFileAtomic(file.toStdString(), "tick 3\n");
    QSignalSpy done(&s.session, &ScenarioSession::finished);
    // The window's own timer goes on once the replay has ended: count the
    // ticks when it ends.
    std::int32_t ticksAtEnd = -1;
    connect(&s.session, &ScenarioSession::finished, this, [&] { ticksAtEnd = s.sim.TickCount(); });
    QVERIFY(s.session.StartReplay(file, true));
    int stops = 0;
    while (done.count() == 0 && stops < 5) {
      QTRY_VERIFY_WITH_TIMEOUT(debugger.Held() || done.count() > 0, 30000);
      if (done.count() > 0) break;
      ++stops;
      QTest::qWait(100);
      QCOMPARE(done.count(), 0);
      QCOMPARE(s.sim.TickCount(), stops);
      debugger.Continue();
      s.sim.RunWaitingInputs();
    }
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
    QCOMPARE(stops, 3);
    QVERIFY(done.at(0).at(0).toBool());
    QCOMPARE(ticksAtEnd, 3);
  }

  // A run held by the debugger: its run message is the failure of the step
  // that raised its event, not of the step after it.  The replay goes on
  // when the run is let go, without polling for it.
  void aHeldRunsMessageFailsTheStepThatStartedIt() {
    QTemporaryDir dir;
    NameTables tables;
    TScript script, spare;
    const std::vector<std::string> errors =
        CompileMacroLines(script, tables, {"EXIT", "boom:", "  z = 0", "  q = 1 / z", "  EXIT"});
    QVERIFY2(errors.empty(), errors.empty() ? "" : Cp932ToUtf8(errors[0]).c_str());
    CompiledMacro macro{script.Code(), {}};
    script.ListLabels(macro.labels);
    Stack s(macro);
    TDebugger debugger(s.runner);
    debugger.stopOnMessage = false;
    debugger.onImageLoaded = [&] {
      BindDebugger(debugger, script, spare, DebugNamesOf(tables));
      debugger.SetBreakpoints({{2, ""}});
    };
    debugger.onImageLoaded();
    const QString file = dir.filePath("b.scn");
    WriteFileAtomic(file.toStdString(), "event boom\ntick 2\nexpect no lines\n");
    QSignalSpy done(&s.session, &ScenarioSession::finished);
    QVERIFY(s.session.StartReplay(file, true));
    QTRY_VERIFY_WITH_TIMEOUT(debugger.Held() || done.count() > 0, 30000);
    QCOMPARE(done.count(), 0);
    QCOMPARE(s.sim.TickCount(), 0);
    debugger.Continue();
    // As the debug panel does once a run goes on.
    s.sim.RunWaitingInputs();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
    const QString line = done.at(0).at(1).toString();
    QVERIFY2(line.startsWith("FAIL b: line 1 (event boom): run message: "), qPrintable(line));
  }

  void recentSecondsAsGif() {
    QTemporaryDir dir;
    const CompiledMacro macro = BuiltInMacro();
    Stack s(macro);
    s.window.Key(3)->click();
    s.window.Track(Slider::Rot)->setValue(900);
    for (int i = 0; i < 10; ++i) s.Tick(33);
    QVERIFY(s.session.SaveRecentGif(dir.filePath("r.gif"), 5));
    QCOMPARE(ReadFile(dir.filePath("r.gif").toStdString()).substr(0, 6), std::string("GIF89a"));
  }

  // The menu's review: a failing screen check shown with its three
  // pictures, accepted, and its scenario passing afterwards; an inline
  // lines check can only be kept.
  void reviewAcceptsAndKeeps() {
    QTemporaryDir dir;
    const CompiledMacro macro = BuiltInMacro();
    Stack s(macro);
    QString error;
    QVERIFY(!s.session.StartReview(dir.path(), &error));
    QVERIFY(error.contains(".scn"));
    s.session.SetMacroSource([&macro] { return macro; });
    // The baseline is the start-up screen; the scenario shows screen B.
    WriteFileAtomic(dir.filePath("a.png").toStdString(), EncodePagePng(s.device.DisplayPageBytes()));
    WriteFileAtomic(dir.filePath("b.scn").toStdString(), "key 取扱\nexpect screen a.png\n");
    WriteFileAtomic(dir.filePath("c.scn").toStdString(), "tick 1\nexpect line NOT-SENT\n");
    std::unique_ptr<ScenarioReviewDialog> dialog(s.session.StartReview(dir.path(), &error));
    QVERIFY2(dialog, qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), 60000);
    QVERIFY(dialog->Shown() && dialog->Shown()->acceptable);
    QVERIFY(dialog->Shown()->failure.pictures);
    const auto labels = dialog->findChildren<QLabel*>();
    const int pictures = std::count_if(labels.begin(), labels.end(), [](QLabel* l) { return !l->pixmap().isNull(); });
    QCOMPARE(pictures, 3);
    dialog->AcceptCurrent();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), 60000);
    // Next: the inline check, which cannot be accepted.
    QVERIFY(dialog->Shown() && !dialog->Shown()->acceptable);
    QCOMPARE(dialog->Review().Entries()[dialog->Shown()->index].name, std::string("c"));
    dialog->KeepCurrent();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), 60000);
    QVERIFY(!dialog->Shown());
    QCOMPARE(dialog->Review().Accepted(), 1);
    QCOMPARE(dialog->Review().KeptCount(), 1);
    ScenarioReport report = RunScenario(ReadScenario(dir.filePath("b.scn").toStdString()), macro, {});
    QVERIFY2(report.status == ScenarioReport::Status::kPassed, FailureText(report.failure).c_str());
  }

  // A long review runs beside the window: the event loop keeps turning and
  // the window's own macro keeps ticking, the dialog tells which scenario
  // runs, and stopping it ends the review where it was.
  void reviewRunsBesideTheWindow() {
    QTemporaryDir dir;
    const CompiledMacro macro = BuiltInMacro();
    Stack s(macro);
    s.session.SetMacroSource([&macro] { return macro; });
    // Twenty scenarios of a million ticks each, which pass: the review
    // runs them all, seconds at least.
    for (int i = 0; i < 20; ++i)
      WriteFileAtomic(dir.filePath(QString("s%1.scn").arg(i, 2, 10, QChar('0'))).toStdString(), "tick 1000000\n");
    std::unique_ptr<ScenarioReviewDialog> dialog(s.session.StartReview(dir.path(), nullptr));
    QVERIFY(dialog);
    dialog->show();
    QVERIFY(dialog->Running());
    int turns = 0;
    QTimer turn;
    connect(&turn, &QTimer::timeout, [&] {
      ++turns;
      s.window.Timer1Timer();
    });
    turn.start(0);
    const auto labels = dialog->findChildren<QLabel*>();
    auto says = [&](const QString& text) {
      return std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text().contains(text); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(turns >= 50 && says(QString::fromUtf8("実行しています: s")) && dialog->Running(), 60000);
    auto* bar = dialog->findChild<QProgressBar*>();
    QVERIFY(bar && bar->isVisible() && bar->value() >= 1 && bar->maximum() == 20);
    auto buttons = dialog->findChildren<QPushButton*>();
    auto button = [&](const char* text) {
      return *std::find_if(buttons.begin(), buttons.end(),
                           [&](QPushButton* b) { return b->text() == QString::fromUtf8(text); });
    };
    QVERIFY(!button("受け入れる")->isEnabled() && button("中止")->isEnabled());
    button("中止")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), 60000);
    QVERIFY(!dialog->Shown());
    QVERIFY(says(QString::fromUtf8("中止しました")));
    QVERIFY(!bar->isVisible() && !button("中止")->isEnabled());
    turn.stop();
  }
};

QTEST_MAIN(ScenarioSessionTest)
#include "scenario_session_test.moc"
