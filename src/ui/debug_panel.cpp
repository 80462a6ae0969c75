#include "ui/debug_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "host/data_module.h"
#include "host/macro_compile.h"
#include "host/simulator.h"
#include "support/encoding.h"
#include "ui/file_messages.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"

namespace qmt {
namespace {

QString Text(const std::string& cp932) {
  try {
    return QString::fromStdString(Cp932ToUtf8(cp932));
  } catch (const std::exception&) {
    return QString::fromLatin1(cp932.c_str());
  }
}

const char* ReasonText(TStopReason reason) {
  switch (reason) {
    case TStopReason::kBreakpoint: return "ブレークポイントで停止";
    case TStopReason::kStep: return "ステップ";
    case TStopReason::kPause: return "一時停止";
    case TStopReason::kEntry: return "開始で停止";
    case TStopReason::kException: return "実行メッセージで停止: ";
    case TStopReason::kNone: break;
  }
  return "停止";
}

}  // namespace

DebugPanel::DebugPanel(TRunner& runner, Simulator& sim, TDM& dm, MacroEditor& editor, QWidget* parent)
    : QWidget(parent), runner_(runner), sim_(sim), dm_(dm), editor_(editor) {
  spare_.OnConstLab = [this](std::string_view name, std::int16_t& dt) { return dm_.Script1ConstLab(name, dt); };
  spare_.OnExtLabel = [this](std::string_view name) { return dm_.Script1ExtLabel(name); };
  debugger_ = std::make_unique<TDebugger>(runner_);
  debugger_->SetExpressionScript(&spare_);
  debugger_->stopOnMessage = false;
  debugger_->onStopped = [this](TStopReason reason) { OnStopped(reason); };
  debugger_->onImageLoaded = [this] { ImageLoaded(); };
  // A held run may also end from outside the panel (a recompile loads a new
  // image): the panes then show it running again.
  debugger_->onRunEnded = [this](TRunEnd) {
    if (showingHeld_) ShowRunning();
  };

  auto action = [this](const char* caption, const QKeySequence& key, void (DebugPanel::*slot)()) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  ContinueAction = action("続行", QKeySequence(Qt::Key_F5), &DebugPanel::Continue);
  PauseAction = action("一時停止", QKeySequence(Qt::Key_F6), &DebugPanel::Pause);
  StepOverAction = action("ステップオーバー", QKeySequence(Qt::Key_F10), &DebugPanel::StepOver);
  StepIntoAction = action("ステップイン", QKeySequence(Qt::Key_F11), &DebugPanel::StepInto);
  StepOutAction = action("ステップアウト", QKeySequence(Qt::SHIFT | Qt::Key_F11), &DebugPanel::StepOut);
  StopAction = action("停止", QKeySequence(Qt::SHIFT | Qt::Key_F5), &DebugPanel::Stop);
  ToggleAction = new QAction(QString::fromUtf8("ブレークポイントの設定/解除"), this);
  ToggleAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F8));
  connect(ToggleAction, &QAction::triggered, this, [this] { editor_.ToggleBreakpoint(editor_.CaretLine()); });
  ConditionAction = new QAction(QString::fromUtf8("ブレークポイントの条件..."), this);
  ConditionAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8));
  connect(ConditionAction, &QAction::triggered, this, [this] {
    const int line = editor_.CaretLine();
    bool ok = false;
    const QString condition = QInputDialog::getText(
        this, QString::fromUtf8("ブレークポイントの条件"),
        QString::fromUtf8("%1行目で止まる条件 (例: x > 10、空欄なら常に):").arg(line + 1), QLineEdit::Normal,
        editor_.BreakpointCondition(line), &ok);
    if (ok) editor_.SetBreakpointCondition(line, condition);
  });

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  for (QAction* a : {ContinueAction, PauseAction, StepOverAction, StepIntoAction, StepOutAction, StopAction}) {
    auto* b = new QToolButton(this);
    b->setDefaultAction(a);
    b->setToolTip(a->text() + " (" + a->shortcut().toString(QKeySequence::NativeText) + ")");
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  StopOnMessage = new QCheckBox(QString::fromUtf8("実行メッセージで停止"), this);
  connect(StopOnMessage, &QCheckBox::toggled, this, [this](bool on) { debugger_->stopOnMessage = on; });
  Status = new QLabel(this);
  Status->setWordWrap(true);

  Stack = new QTreeWidget(this);
  Stack->setHeaderLabels({QString::fromUtf8("呼び出し"), QString::fromUtf8("行")});
  Stack->setRootIsDecorated(false);
  Stack->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  connect(Stack, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    frame_ = Stack->indexOfTopLevelItem(item);
    const int line = item->data(1, Qt::UserRole).toInt();
    if (line >= 0) editor_.GoToLine(line);
    ShowVariables();
  });
  Variables = new QTreeWidget(this);
  Variables->setHeaderLabels({QString::fromUtf8("名前"), QString::fromUtf8("値")});
  Variables->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  connect(Variables, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { EditVariable(item); });

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(Stack);
  splitter->addWidget(Variables);
  splitter->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(buttons);
  layout->addWidget(StopOnMessage);
  layout->addWidget(Status);
  layout->addWidget(splitter, 1);

  connect(&editor_, &MacroEditor::breakpointsChanged, this, [this] { SyncBreakpoints(); });
  ShowRunning();
}

DebugPanel::~DebugPanel() = default;

void DebugPanel::ImageLoaded() {
  debugger_->SetExternalNames([this] {
    std::vector<std::pair<std::string, int>> names;
    const std::vector<std::string>& lines = dm_.ExtValue.Items().Strings();
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (!lines[i].empty() && dm_.Script1ExtLabel(lines[i]) == static_cast<int>(i))
        names.emplace_back(lines[i], static_cast<int>(i));
    return names;
  }());
  debugger_->SetDebugInfo(dm_.Script1.DebugInfo());
  // The panel shows stops on the editor's lines as they are now: they are
  // followed from the compiled text through later edits.
  std::vector<std::string> lines;
  std::string error;
  editor_.FollowCompiledLines(editor_.Lines(lines, error) && JoinLinesCrLf(lines) == dm_.Script1.Source());
  SyncBreakpoints();
}

void DebugPanel::SyncBreakpoints() {
  std::vector<TBreakpointRequest> requests;
  std::vector<int> requestedAt;  // the editor's line of each request
  QStringList notes;
  for (int line : editor_.BreakpointLines()) {
    // A condition keeps its bytes; one that code page 932 cannot hold is
    // not shortened into another: its breakpoint stays unset.
    const QString text = editor_.BreakpointCondition(line);
    std::string condition, error;
    if (!TryUtf8ToCp932(text.toStdString(), condition, error)) {
      editor_.SetBreakpointVerified(line, false);
      notes << QString::fromUtf8("%1行目の条件を使えません: ").arg(line + 1) + UnconvertibleText(text, line + 1);
      continue;
    }
    const int compiled = editor_.CompiledLineOf(line);
    if (compiled < 0) {
      editor_.SetBreakpointVerified(line, false);
      notes << QString::fromUtf8("%1行目はコンパイルの後に書いた行です (コンパイルすると使えます)").arg(line + 1);
      continue;
    }
    requests.push_back({compiled, condition});
    requestedAt.push_back(line);
  }
  const std::vector<TBreakpoint>& bound = debugger_->SetBreakpoints(requests);
  // Before the first compile there is no line table to bind to.
  const bool compiled = !debugger_->Info().Empty();
  for (std::size_t i = 0; i < bound.size() && i < requestedAt.size(); ++i) {
    const TBreakpoint& b = bound[i];
    editor_.SetBreakpointVerified(requestedAt[i], b.verified || !compiled);
    if (compiled && !b.message.empty()) notes << Text(b.message);
  }
  bindingNote_ = notes.join("\n").toStdString();
  if (!debugger_->Held()) ShowRunning();
}

void DebugPanel::Go(TRunEnd (TDebugger::*command)()) {
  if (!debugger_->Held()) return;
  (debugger_.get()->*command)();
  if (!debugger_->Held()) AfterRun();
}

void DebugPanel::Continue() { Go(&TDebugger::Continue); }
void DebugPanel::StepOver() { Go(&TDebugger::StepOver); }
void DebugPanel::StepInto() { Go(&TDebugger::StepInto); }
void DebugPanel::StepOut() { Go(&TDebugger::StepOut); }

void DebugPanel::Pause() {
  if (debugger_->Held()) return;
  debugger_->Pause();
  Status->setText(QString::fromUtf8("次のイベントの最初の文で停止する"));
}

void DebugPanel::Stop() {
  debugger_->Stop();
  AfterRun();
}

// The run goes on or has ended: the panes empty, and what waited while it
// was held is delivered (which may hold a run again).
void DebugPanel::AfterRun() {
  ShowRunning();
  sim_.RunWaitingInputs();
}

void DebugPanel::ShowRunning() {
  showingHeld_ = false;
  editor_.ShowCurrentLine(-1);
  Stack->clear();
  Variables->clear();
  QString status = QString::fromUtf8("実行中");
  if (!bindingNote_.empty()) status += "\n" + QString::fromStdString(bindingNote_);
  Status->setText(status);
  for (QAction* a : {ContinueAction, StepOverAction, StepIntoAction, StepOutAction, StopAction}) a->setEnabled(false);
  PauseAction->setEnabled(true);
}

void DebugPanel::OnStopped(TStopReason reason) {
  showingHeld_ = true;
  frame_ = 0;
  QString status = QString::fromUtf8(ReasonText(reason));
  if (reason == TStopReason::kException) status += Text(debugger_->StopMessage());
  const int line = editor_.LineOfCompiled(debugger_->CurrentLine());
  if (line >= 0) status += QString::fromUtf8(" (%1行目)").arg(line + 1);
  if (editor_.ChangedSinceCompile()) status += QString::fromUtf8("\nコンパイルの後に編集されています: 行は編集に合わせて示します");
  Status->setText(status);
  for (QAction* a : {ContinueAction, StepOverAction, StepIntoAction, StepOutAction, StopAction}) a->setEnabled(true);
  PauseAction->setEnabled(false);
  editor_.ShowCurrentLine(line);
  if (line >= 0) editor_.GoToLine(line);
  if (QWidget* w = window()) {
    w->show();
    w->raise();
  }
  Refresh();
}

void DebugPanel::Refresh() {
  Stack->clear();
  for (const TStackFrame& f : debugger_->StackTrace()) {
    const int line = editor_.LineOfCompiled(f.line);
    auto* item = new QTreeWidgetItem(Stack, {f.name.empty() ? QStringLiteral("(macro)") : Text(f.name),
                                             line >= 0 ? QString::number(line + 1) : QString()});
    item->setData(1, Qt::UserRole, line);
  }
  lastValues_ = shownValues_;
  ShowVariables();
}

void DebugPanel::ShowVariables() {
  Variables->clear();
  shownValues_.clear();
  auto scope = [this](const char* caption, const char* key, const std::vector<TVariable>& list) {
    auto* top = new QTreeWidgetItem(Variables, {QString::fromUtf8(caption)});
    for (const TVariable& v : list) {
      auto* item = new QTreeWidgetItem(top, {Text(v.name), QString::number(v.value)});
      // The name as the core holds it (code page 932).
      item->setData(0, Qt::UserRole, QByteArray(v.name.data(), static_cast<qsizetype>(v.name.size())));
      const std::string id = std::string(key) + v.name;
      shownValues_[id] = v.value;
      auto last = lastValues_.find(id);
      if (last != lastValues_.end() && last->second != v.value) {
        // Changed since the last stop.
        QFont bold = item->font(1);
        bold.setBold(true);
        item->setFont(1, bold);
        item->setForeground(1, QColor(220, 40, 40));
      }
    }
    top->setExpanded(true);
  };
  scope("ローカル変数", "L:", debugger_->Locals());
  scope("引数", "A:", debugger_->Arguments(frame_));
  scope("外部変数", "E:", debugger_->Externals());
}

void DebugPanel::EditVariable(QTreeWidgetItem* item) {
  if (!debugger_->Held() || !item || !item->parent()) return;
  const std::string name = item->data(0, Qt::UserRole).toByteArray().toStdString();
  bool ok = false;
  const QString text = QInputDialog::getText(this, QString::fromUtf8("値の変更"), item->text(0) + " =",
                                             QLineEdit::Normal, item->text(1), &ok);
  if (!ok) return;
  std::string value, error;
  if (!TryUtf8ToCp932(text.toStdString(), value, error)) {
    Status->setText(UnconvertibleText(text));
    return;
  }
  std::int16_t stored = 0;
  if (!debugger_->SetVariable(name, value, stored, error, frame_)) {
    Status->setText(Text(error));
    return;
  }
  ShowVariables();
}

DebugPanel* InstallDebugPanel(TfScrTool& tool, TRunner& runner, Simulator& sim, TDM& dm) {
  auto* panel = new DebugPanel(runner, sim, dm, *tool.Editor1, &tool);
  auto* dock = new QDockWidget(QString::fromUtf8("デバッガ"), &tool);
  dock->setObjectName("DebugDock");
  dock->setWidget(panel);
  tool.addDockWidget(Qt::RightDockWidgetArea, dock);
  QMenu* menu = tool.menuBar()->addMenu(QString::fromUtf8("デバッグ(&D)"));
  for (QAction* a : {panel->ContinueAction, panel->PauseAction, panel->StepOverAction, panel->StepIntoAction,
                     panel->StepOutAction, panel->StopAction}) {
    menu->addAction(a);
  }
  menu->addSeparator();
  menu->addAction(panel->ToggleAction);
  menu->addAction(panel->ConditionAction);
  return panel;
}

}  // namespace qmt
