// The debugger in the tool window over the real data module, simulator,
// runner and device: breakpoints from the margin, the panes of a held run,
// the commands, and the simulator standing still meanwhile.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <Qsci/qsciscintilla.h>
#include <memory>
#include <set>

#include "host/data_module.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "ui/debug_panel.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"
#include "ui/scr_tool_binding.h"

using namespace qmt;

namespace {

struct NoLink : SimLink {
  bool SendLine(std::string_view) override { return true; }
  bool DeviceBusy() override { return false; }
};

struct Harness {
  QTemporaryDir dir;
  TRunner runner;
  RunnerPort port{runner};
  NoLink link;
  std::unique_ptr<TdmToolHost> host;
  std::unique_ptr<TfScrTool> tool;
  std::unique_ptr<TDM> dm;
  std::unique_ptr<DataModuleMacroSource> source;
  std::unique_ptr<ToolWindowMessages> messages;
  std::unique_ptr<Simulator> sim;
  DebugPanel* panel = nullptr;

  explicit Harness(const std::vector<std::string>& macro) {
    ConfigFiles files;
    files.macroFile = dir.path().toStdString() + "/qmtsimMacro.txt";
    files.colorFile = dir.path().toStdString() + "/qmtsimColor.txt";
    host = std::make_unique<TdmToolHost>(files);
    tool = std::make_unique<TfScrTool>(*host);
    tool->errorBox = [](const QString&) {};
    dm = std::make_unique<TDM>(*tool);
    dm->Macro.Items().Assign(macro);
    host->SetDataModule(dm.get());
    source = std::make_unique<DataModuleMacroSource>(*dm);
    messages = std::make_unique<ToolWindowMessages>(*tool);
    Simulator::Ports ports;
    ports.runner = &port;
    ports.macro = source.get();
    ports.messages = messages.get();
    ports.link = &link;
    sim = std::make_unique<Simulator>(ports);
    host->SetSimulator(sim.get());
    host->SetLink(&link);
    panel = InstallDebugPanel(*tool, runner, *sim, *dm);
    sim->ReloadAndStart();
  }

  std::int16_t Local(const char* name) {
    std::int16_t v = 0;
    std::string error;
    panel->Debugger().Evaluate(name, v, error);
    return v;
  }
  QTreeWidgetItem* Variable(const QString& scope, const QString& name) {
    for (int i = 0; i < panel->Variables->topLevelItemCount(); ++i) {
      QTreeWidgetItem* top = panel->Variables->topLevelItem(i);
      if (top->text(0) != scope) continue;
      for (int j = 0; j < top->childCount(); ++j)
        if (top->child(j)->text(0) == name) return top->child(j);
    }
    return nullptr;
  }
};

const std::vector<std::string> kMacro = {
    "EXIT",         // 0
    "onRUN:",       // 1
    "x = x + 1",    // 2
    "",             // 3
    "x = x * 10",   // 4
    "EXIT",         // 5
};

}  // namespace

class DebugPanelTest : public QObject {
  Q_OBJECT
 private slots:
  void heldRunShowsPanesAndTheWorldWaits() {
    Harness h(kMacro);
    MacroEditor& editor = *h.tool->Editor1;
    editor.ToggleBreakpoint(2);
    editor.ToggleBreakpoint(3);  // no code: binds to line 4, and the panel says so
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("5行目に置いた")));

    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("ブレークポイント")));
    QCOMPARE(h.panel->Stack->topLevelItemCount(), 1);
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(0), QString("onRUN"));
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(1), QString("3"));
    QVERIFY(h.Variable(QString::fromUtf8("ローカル変数"), "x"));
    QVERIFY(h.Variable(QString::fromUtf8("外部変数"), "DTIME1"));
    QVERIFY(!h.panel->PauseAction->isEnabled());

    // Meanwhile: no ticks, and a key waits.
    const std::int32_t ticks = h.sim->TickCount();
    h.sim->Timer1Timer(1000);
    QCOMPARE(h.sim->TickCount(), ticks);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.sim->HasWaitingInputs());

    h.panel->StepOverAction->trigger();
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(1), QString("5"));
    QTreeWidgetItem* x = h.Variable(QString::fromUtf8("ローカル変数"), "x");
    QCOMPARE(x->text(1), QString("1"));
    QVERIFY(x->font(1).bold());  // changed since the last stop

    // Continue: the run ends, the waiting key runs and stops at line 3.
    h.panel->ContinueAction->trigger();
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.Local("x"), 10);
    QVERIFY(!h.sim->HasWaitingInputs());

    h.panel->StopAction->trigger();
    QVERIFY(!h.panel->Debugger().Held());
    QVERIFY(h.panel->Status->text().startsWith(QString::fromUtf8("実行中")));
    QCOMPARE(h.runner.Context().machine.RSP, 0);
  }

  void breakpointsStayAfterARecompile() {
    Harness h(kMacro);
    MacroEditor& editor = *h.tool->Editor1;
    editor.ToggleBreakpoint(4);
    h.tool->N3Click();  // compile and go
    QCOMPARE(editor.BreakpointLines(), std::vector<int>{4});
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Debugger().CurrentLine(), 4);
    // A recompile while held ends the held run; the panes follow.
    h.tool->N3Click();
    QVERIFY(!h.panel->Debugger().Held());
    QCOMPARE(h.panel->Stack->topLevelItemCount(), 0);
    QCOMPARE(h.panel->ContinueAction->isEnabled(), false);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    h.panel->ContinueAction->trigger();
    QVERIFY(!h.panel->Debugger().Held());
  }

  void conditionsMoveWithTheirBreakpoints() {
    Harness h(kMacro);
    MacroEditor& editor = *h.tool->Editor1;
    editor.SetBreakpointCondition(2, "x >= 2");
    QCOMPARE(editor.BreakpointLines(), std::vector<int>{2});
    editor.Text()->insertAt("\r\n", 0, 0);  // the line moves down
    QCOMPARE(editor.BreakpointCondition(3), QString("x >= 2"));
    h.tool->N3Click();
    QCOMPARE(editor.BreakpointCondition(3), QString("x >= 2"));
    h.sim->RaiseEvent("onRUN");  // x 0: goes on
    QVERIFY(!h.panel->Debugger().Held());
    h.sim->RaiseEvent("onRUN");  // x 10: stops
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.Local("x"), 10);
    editor.SetBreakpointCondition(3, "x >");  // not an expression: the panel says so
    QVERIFY(!h.panel->Debugger().Breakpoints().at(0).verified);
    h.panel->StopAction->trigger();
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("条件")));
  }

  // Names and conditions keep their code page 932 bytes.
  void kanjiNamesAndUnconvertibleConditions() {
    Harness h({"EXIT", "onRUN:", Sjis("変数 = 1"), Sjis("x = 変数"), "EXIT"});
    MacroEditor& editor = *h.tool->Editor1;
    editor.ToggleBreakpoint(3);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QTreeWidgetItem* local = h.Variable(QString::fromUtf8("ローカル変数"), QString::fromUtf8("変数"));
    QVERIFY(local);
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->setTextValue("7");
      dialog->accept();
    });
    emit h.panel->Variables->itemDoubleClicked(local, 1);
    QCOMPARE(h.Local(Sjis("変数").c_str()), 7);
    h.panel->ContinueAction->trigger();

    // U+2603 has no code page 932 form: the breakpoint is not set, and says why.
    editor.SetBreakpointCondition(3, QString::fromUtf8("x = 1 | \u2603"));
    QVERIFY(h.panel->Status->text().contains("U+2603"));
    h.sim->RaiseEvent("onRUN");
    QVERIFY(!h.panel->Debugger().Held());
  }

  // A setting code page 932 cannot hold leaves its breakpoint unset, and the
  // marker's tooltip and the panel say why, also while a run is held.
  void unconvertibleSettingsAreRefusedWithTheReason() {
    Harness h(kMacro);
    MacroEditor& editor = *h.tool->Editor1;
    editor.ToggleBreakpoint(2);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    struct Case {
      MacroEditor::BreakpointSettings settings;
      const char* why;
    };
    const Case cases[] = {
        {{"1 // ü", "", ""}, "5行目の条件を使えません"},
        {{"", "ü", ""}, "5行目のヒット条件を使えません"},
        {{"", "", "x={x} ü"}, "5行目のログを使えません"},
    };
    for (const Case& c : cases) {
      editor.SetBreakpointOptions(4, c.settings);
      const QString why = QString::fromUtf8(c.why);
      const QString status = h.panel->Status->text();
      QVERIFY2(status.contains(why) && status.contains("U+00FC"), qPrintable(status));
      QVERIFY2(status.startsWith(QString::fromUtf8("ブレークポイントで停止")), qPrintable(status));
      const QString tip = editor.BreakpointTooltip(4);
      QVERIFY2(tip.contains(why) && tip.contains("U+00FC"), qPrintable(tip));
    }
    // Not set: the run goes past line 5.
    h.panel->ContinueAction->trigger();
    QVERIFY(!h.panel->Debugger().Held());
  }

  // At the dock's default width the P-code pane shows each instruction
  // whole, and the stacks' headings too.
  void pcodeIsReadableAtTheDefaultWidth() {
    Harness h(kMacro);
    h.tool->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.tool.get()));
    h.tool->Editor1->ToggleBreakpoint(4);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    auto* tabs = h.panel->findChild<QTabWidget*>();
    QVERIFY(tabs);
    tabs->setCurrentIndex(tabs->indexOf(h.panel->Code->parentWidget()));
    QTRY_VERIFY(h.panel->Code->isVisible() && h.panel->Code->topLevelItemCount() > 0);
    QTreeWidget* code = h.panel->Code;
    const int column = 2;  // the instruction
    QCOMPARE(code->headerItem()->text(column), QString::fromUtf8("命令"));
    for (int i = 0; i < code->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = code->topLevelItem(i);
      const int needed = QFontMetrics(item->font(column)).horizontalAdvance(item->text(column));
      const int left = code->header()->sectionViewportPosition(column);
      QVERIFY2(needed < code->columnWidth(column) && left + needed < code->viewport()->width(),
               qPrintable(QString("'%1' needs %2 at %3; the column is %4, the pane %5")
                              .arg(item->text(column)).arg(needed).arg(left).arg(code->columnWidth(column))
                              .arg(code->viewport()->width())));
    }
    QTreeWidget* stacks = h.panel->Stacks;
    for (int i = 0; i < stacks->topLevelItemCount(); ++i) {
      QTreeWidgetItem* heading = stacks->topLevelItem(i);
      const int needed = QFontMetrics(heading->font(0)).horizontalAdvance(heading->text(0));
      QVERIFY2(needed < stacks->visualItemRect(heading).width(), qPrintable(heading->text(0)));
    }
    h.panel->StopAction->trigger();
  }

  // An edit without a recompile: stops and breakpoints follow the text.
  void stopsFollowEditsMadeSinceTheCompile() {
    Harness h(kMacro);
    MacroEditor& editor = *h.tool->Editor1;
    editor.Text()->insertAt("\r\n", 0, 0);  // every line moves down one
    editor.ToggleBreakpoint(5);               // compiled line 4
    editor.ToggleBreakpoint(0);               // written since: not set
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("1行目はコンパイルの後")));
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Debugger().CurrentLine(), 4);
    QCOMPARE(h.Local("x"), 1);
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(1), QString("6"));
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("(6行目)")));
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("編集されています")));
    QCOMPARE(editor.CaretLine(), 5);
    h.panel->StopAction->trigger();
    // After a recompile the lines are the text's own again.
    editor.ToggleBreakpoint(0);
    h.tool->N3Click();
    QCOMPARE(editor.CompiledLineOf(0), 0);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Debugger().CurrentLine(), 5);
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(1), QString("6"));
  }

  // Quitting with a run held: the windows go first, then the debugger, whose
  // end of the run reaches none of them (the sanitizer stage runs this).
  void closingWithARunHeldReachesNothingGone() {
    auto h = std::make_unique<Harness>(kMacro);
    h->tool->Editor1->ToggleBreakpoint(2);
    h->sim->RaiseEvent("onRUN");
    QVERIFY(h->panel->Debugger().Held());
    h.reset();
  }

  // Log points write and go on, hit counts stop on the hit asked for and
  // count on the marker's tooltip, and each kind of breakpoint has a marker
  // of its own.
  void logPointsHitCountsAndTheirMarkers() {
    Harness h({"EXIT", "onRUN:", "x = x + 1", "y = x", "z = x", "EXIT"});
    MacroEditor& editor = *h.tool->Editor1;
    editor.SetBreakpointOptions(2, {"", "", "x={x}"});
    editor.SetBreakpointOptions(3, {"x > 100", "", ""});
    editor.SetBreakpointOptions(4, {"", "2", ""});
    editor.ToggleBreakpoint(5);
    QCOMPARE(editor.BreakpointLines(), (std::vector<int>{2, 3, 4, 5}));
    std::set<unsigned> looks;
    for (int line : {2, 3, 4, 5}) looks.insert(editor.Text()->markersAtLine(line));
    QCOMPARE(looks.size(), std::size_t{4});

    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Debugger().CurrentLine(), 5);
    // A log point writes before its line runs, as a breakpoint stops there.
    QCOMPARE(h.panel->Log->toPlainText(), QString::fromUtf8("3行目: x=0"));
    QVERIFY(QString::fromStdString(Cp932ToUtf8(h.tool->Message())).contains("x=0"));
    QVERIFY2(editor.BreakpointTooltip(4).contains(QString::fromUtf8("ヒット数: 1")), qPrintable(editor.BreakpointTooltip(4)));
    h.panel->ContinueAction->trigger();
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Debugger().CurrentLine(), 4);  // its second hit
    const QString tip = editor.BreakpointTooltip(4);
    QVERIFY2(tip.contains(QString::fromUtf8("ヒット条件: 2")) && tip.contains(QString::fromUtf8("ヒット数: 2")),
             qPrintable(tip));
    QCOMPARE(h.panel->Log->toPlainText(), QString::fromUtf8("3行目: x=0\n3行目: x=1"));
    h.panel->StopAction->trigger();
    // A wrong hit condition leaves its breakpoint unset, and the panel says why.
    editor.SetBreakpointOptions(4, {"", "twice", ""});
    QVERIFY(h.panel->Status->text().contains(QString::fromUtf8("ヒット条件の誤り")));
  }

  // The watch pane, the evaluate line and the P-code of a held run.
  void watchesEvaluateLineAndPcode() {
    Harness h(kMacro);
    MacroEditor& editor = *h.tool->Editor1;
    editor.ToggleBreakpoint(2);
    h.panel->AddWatch("x * 2");
    h.panel->AddWatch("x +");
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Watches->topLevelItem(0)->text(1), QString("0"));
    QVERIFY(!h.panel->Watches->topLevelItem(0)->font(1).bold());
    bool number = false;
    h.panel->Watches->topLevelItem(1)->text(1).toInt(&number);
    QVERIFY(!number);  // the error, not a value
    h.panel->StepOverAction->trigger();
    QCOMPARE(h.panel->Watches->topLevelItem(0)->text(1), QString("2"));
    QVERIFY(h.panel->Watches->topLevelItem(0)->font(1).bold());  // changed since the last stop
    h.panel->EvaluateLine->setText("x + 40");
    h.panel->EvaluateNow();
    QCOMPARE(h.panel->EvaluateResult->text(), QString("x + 40 = 41"));

    // The listing marks the held instruction; one instruction step moves the mark.
    auto marked = [&]() -> QString {
      for (int i = 0; i < h.panel->Code->topLevelItemCount(); ++i)
        if (!h.panel->Code->topLevelItem(i)->text(0).isEmpty()) return h.panel->Code->topLevelItem(i)->text(1);
      return {};
    };
    const auto hex = [](int pc) { return QString("%1").arg(pc, 4, 16, QChar('0')).toUpper(); };
    QCOMPARE(marked(), hex(h.panel->Debugger().CurrentPc()));
    QCOMPARE(h.panel->Stacks->topLevelItemCount(), 2);
    const std::uint16_t before = h.panel->Debugger().CurrentPc();
    h.panel->StepInstructionAction->trigger();
    QVERIFY(h.panel->Debugger().Held());
    QVERIFY(h.panel->Debugger().CurrentPc() > before);
    QCOMPARE(marked(), hex(h.panel->Debugger().CurrentPc()));
    // The first instruction of `x = x * 10` put x on the operand stack.
    QCOMPARE(h.panel->Stacks->topLevelItem(0)->childCount(), 1);
    QCOMPARE(h.panel->Stacks->topLevelItem(0)->child(0)->text(1), QString("1"));
    h.panel->StopAction->trigger();
    QCOMPARE(h.panel->Code->topLevelItemCount(), 0);

    // A data breakpoint on x from the variables pane: the next run stops
    // right after the line that changes it.
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    h.panel->Variables->setCurrentItem(h.Variable(QString::fromUtf8("ローカル変数"), "x"));
    h.panel->DataBreakpointAction->trigger();
    QVERIFY(h.panel->DataBreakpointAction->isChecked());
    h.panel->ContinueAction->trigger();
    QVERIFY(h.panel->Debugger().Held());
    QVERIFY2(h.panel->Status->text().contains(QString::fromUtf8("x: 1 → 2 (3行目で変更)")),
             qPrintable(h.panel->Status->text()));
    h.panel->StopAction->trigger();
  }

  // Out of a function called inside an expression: back at the call, with
  // its column in the call stack.
  void stepOutOfAFunctionLandsAtTheCall() {
    Harness h({"EXIT", "onRUN:", "x = 1 + twice(3)", "EXIT", "twice:", "RET @0 * 2"});
    h.tool->Editor1->ToggleBreakpoint(5);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QCOMPARE(h.panel->Stack->topLevelItemCount(), 2);
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(1), QString("6"));
    QCOMPARE(h.panel->Stack->topLevelItem(1)->text(1), QString("3:9"));
    h.panel->StepOutAction->trigger();
    QCOMPARE(h.panel->Stack->topLevelItemCount(), 1);
    QCOMPARE(h.panel->Stack->topLevelItem(0)->text(1), QString("3:9"));
    QCOMPARE(h.Local("x"), 0);  // the sum is not stored yet
    h.panel->StepOverAction->trigger();
    QCOMPARE(h.panel->Debugger().CurrentLine(), 3);
    QCOMPARE(h.Local("x"), 7);
    h.panel->ContinueAction->trigger();
    QVERIFY(!h.panel->Debugger().Held());
  }

  void aRunMessageStopsWhenAskedTo() {
    Harness h({"EXIT", "onRUN:", "y = 0", "x = 1 / y", "EXIT"});
    h.sim->RaiseEvent("onRUN");  // not asked: reported as before
    QVERIFY(!h.panel->Debugger().Held());
    h.panel->StopOnMessage->setChecked(true);
    h.sim->RaiseEvent("onRUN");
    QVERIFY(h.panel->Debugger().Held());
    QVERIFY(h.panel->Status->text().contains(Cp932ToUtf8(Sjis("ゼロ除算")).c_str()));
    QCOMPARE(h.panel->Debugger().CurrentLine(), 3);
    h.panel->ContinueAction->trigger();
    QVERIFY(!h.panel->Debugger().Held());
  }
};

QTEST_MAIN(DebugPanelTest)
#include "debug_panel_test.moc"
