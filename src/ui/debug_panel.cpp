#include "ui/debug_panel.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QMenuBar>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "host/data_module.h"
#include "host/debug_binding.h"
#include "host/macro_compile.h"
#include "host/simulator.h"
#include "support/encoding.h"
#include "ui/cp932_text.h"
#include "ui/file_messages.h"
#include "ui/macro_editor.h"
#include "ui/scr_tool.h"

namespace qmt {
namespace {

const char* ReasonText(TStopReason reason) {
  switch (reason) {
    case TStopReason::kBreakpoint: return "ブレークポイントで停止";
    case TStopReason::kStep: return "ステップ";
    case TStopReason::kPause: return "一時停止";
    case TStopReason::kEntry: return "開始で停止";
    case TStopReason::kException: return "実行メッセージで停止: ";
    case TStopReason::kDataBreakpoint: return "値の変化で停止: ";
    case TStopReason::kNone: break;
  }
  return "停止";
}

}  // namespace

DebugPanel::DebugPanel(TRunner& runner, Simulator& sim, TDM& dm, MacroEditor& editor, QWidget* parent)
    : QWidget(parent), runner_(runner), sim_(sim), dm_(dm), editor_(editor) {
  debugger_ = std::make_unique<TDebugger>(runner_);
  debugger_->stopOnMessage = false;
  debugger_->onStopped = [this](TStopReason reason) { OnStopped(reason); };
  debugger_->onImageLoaded = [this] { ImageLoaded(); };
  // A log point's line goes to the message window, and the run goes on.
  debugger_->onLog = [this](const std::string& text, int line) {
    const int shown = editor_.LineOfCompiled(line);
    const std::string entry = (shown >= 0 ? std::to_string(shown + 1) + Sjis("行目: ") : std::string()) + text;
    Log->appendPlainText(FromCp932(entry));
    if (showLog) showLog(Sjis("ログ ") + entry);
  };
  // The marker's tooltip says why a breakpoint is not set, or counts its hits.
  editor_.breakpointNote = [this](int line) {
    if (auto refused = refusedAt_.find(line); refused != refusedAt_.end()) return refused->second;
    const std::vector<TBreakpoint>& bound = debugger_->Breakpoints();
    for (std::size_t i = 0; i < bound.size() && i < requestedAt_.size(); ++i)
      if (requestedAt_[i] == line && bound[i].verified) return QString::fromUtf8("ヒット数: %1").arg(bound[i].hits);
    return QString();
  };
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
    AskSetting("ブレークポイントの条件", "%1行目で止まる条件 (例: x > 10、空欄なら常に):",
               &MacroEditor::BreakpointSettings::condition);
  });
  HitConditionAction = new QAction(QString::fromUtf8("ヒット条件..."), this);
  connect(HitConditionAction, &QAction::triggered, this, [this] {
    AskSetting("ヒット条件", "%1行目で何回目に止まるか (5: 5回目、%5: 5回ごと、>5: 5回の後、空欄なら毎回):",
               &MacroEditor::BreakpointSettings::hitCondition);
  });
  LogPointAction = new QAction(QString::fromUtf8("ログポイント..."), this);
  LogPointAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F9));
  connect(LogPointAction, &QAction::triggered, this, [this] {
    AskSetting("ログポイント", "%1行目で止まらずに書く文 ({x} は x の値、空欄ならログなし):",
               &MacroEditor::BreakpointSettings::logMessage);
  });
  StepInstructionAction = action("命令ステップイン", QKeySequence(Qt::ALT | Qt::Key_F11), &DebugPanel::StepInstruction);
  StepInstructionOverAction =
      action("命令ステップオーバー", QKeySequence(Qt::ALT | Qt::Key_F10), &DebugPanel::StepInstructionOver);

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
  DataBreakpointAction = new QAction(QString::fromUtf8("値の変化で停止"), this);
  DataBreakpointAction->setCheckable(true);
  connect(DataBreakpointAction, &QAction::triggered, this, [this] {
    QTreeWidgetItem* item = Variables->currentItem();
    if (item && item->parent()) ToggleDataBreakpoint(item->data(0, Qt::UserRole).toByteArray().toStdString());
  });
  connect(Variables, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    const std::string name = item ? item->data(0, Qt::UserRole).toByteArray().toStdString() : std::string();
    DataBreakpointAction->setChecked(std::any_of(dataRequests_.begin(), dataRequests_.end(),
                                                 [&](const TDataBreakpointRequest& r) { return r.name == name; }));
  });
  Variables->setContextMenuPolicy(Qt::ActionsContextMenu);
  Variables->addAction(DataBreakpointAction);

  // The watch pane: expressions (Delete removes one) and the evaluate line.
  Watches = new QTreeWidget(this);
  Watches->setHeaderLabels({QString::fromUtf8("式"), QString::fromUtf8("値")});
  Watches->setRootIsDecorated(false);
  Watches->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  auto* removeWatch = new QAction(QString::fromUtf8("ウォッチを削除"), Watches);
  removeWatch->setShortcut(QKeySequence::Delete);
  removeWatch->setShortcutContext(Qt::WidgetShortcut);
  connect(removeWatch, &QAction::triggered, this, [this] { delete Watches->currentItem(); });
  Watches->addAction(removeWatch);
  EvaluateLine = new QLineEdit(this);
  EvaluateLine->setPlaceholderText(QString::fromUtf8("式を評価 (Enter)"));
  connect(EvaluateLine, &QLineEdit::returnPressed, this, &DebugPanel::EvaluateNow);
  auto* addWatch = new QPushButton(QString::fromUtf8("ウォッチに追加"), this);
  connect(addWatch, &QPushButton::clicked, this, [this] {
    if (!EvaluateLine->text().trimmed().isEmpty()) AddWatch(EvaluateLine->text().trimmed());
  });
  EvaluateResult = new QLabel(this);
  EvaluateResult->setWordWrap(true);
  EvaluateResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* watchPage = new QWidget(this);
  auto* watchLayout = new QVBoxLayout(watchPage);
  watchLayout->setContentsMargins(0, 0, 0, 0);
  watchLayout->addWidget(Watches, 1);
  auto* evaluateRow = new QHBoxLayout;
  evaluateRow->addWidget(EvaluateLine, 1);
  evaluateRow->addWidget(addWatch);
  watchLayout->addLayout(evaluateRow);
  watchLayout->addWidget(EvaluateResult);

  // The P-code of the held run.
  Code = new QTreeWidget(this);
  // The instruction comes before its bytes: a narrow pane still shows it.
  Code->setHeaderLabels({QString(), QString::fromUtf8("番地"), QString::fromUtf8("命令"), QString::fromUtf8("行"),
                         QString::fromUtf8("バイト")});
  Code->setRootIsDecorated(false);
  Code->setUniformRowHeights(true);
  Code->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Code->header()->setStretchLastSection(true);
  Code->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Stacks = new QTreeWidget(this);
  Stacks->setHeaderLabels({QString::fromUtf8("スタック"), QString::fromUtf8("値")});
  Stacks->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  auto* codePage = new QSplitter(Qt::Vertical, this);
  codePage->addWidget(Code);
  codePage->addWidget(Stacks);
  codePage->setStretchFactor(0, 2);

  Log = new QPlainTextEdit(this);
  Log->setReadOnly(true);
  Log->setMaximumBlockCount(5000);

  auto* tabs = new QTabWidget(this);
  tabs->addTab(Variables, QString::fromUtf8("変数"));
  tabs->addTab(watchPage, QString::fromUtf8("ウォッチ"));
  tabs->addTab(codePage, QString::fromUtf8("Pコード"));
  tabs->addTab(Log, QString::fromUtf8("ログ"));
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(Stack);
  splitter->addWidget(tabs);
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
  BindDebugger(*debugger_, dm_.Script1, spare_, DebugNamesOf(dm_));
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
  std::map<int, QString> refusedAt;
  QStringList notes;
  auto refuse = [&](int line, const QString& why) {
    editor_.SetBreakpointVerified(line, false);
    refusedAt[line] = why;
    notes << why;
  };
  for (int line : editor_.BreakpointLines()) {
    // The settings keep their bytes; one that code page 932 cannot hold is
    // not shortened into another: its breakpoint stays unset.
    const MacroEditor::BreakpointSettings settings = editor_.BreakpointOptions(line);
    std::string condition, hits, log, error;
    if (!TryUtf8ToCp932(settings.condition.toStdString(), condition, error)) {
      refuse(line, QString::fromUtf8("%1行目の条件を使えません: ").arg(line + 1) +
                       UnconvertibleText(settings.condition, line + 1));
      continue;
    }
    if (!TryUtf8ToCp932(settings.hitCondition.toStdString(), hits, error)) {
      refuse(line, QString::fromUtf8("%1行目のヒット条件を使えません: ").arg(line + 1) +
                       UnconvertibleText(settings.hitCondition, line + 1));
      continue;
    }
    if (!TryUtf8ToCp932(settings.logMessage.toStdString(), log, error)) {
      refuse(line, QString::fromUtf8("%1行目のログを使えません: ").arg(line + 1) +
                       UnconvertibleText(settings.logMessage, line + 1));
      continue;
    }
    const int compiled = editor_.CompiledLineOf(line);
    if (compiled < 0) {
      refuse(line, QString::fromUtf8("%1行目はコンパイルの後に書いた行です (コンパイルすると使えます)").arg(line + 1));
      continue;
    }
    requests.push_back({compiled, condition, hits, log});
    requestedAt.push_back(line);
  }
  const std::vector<TBreakpoint>& bound = debugger_->SetBreakpoints(requests);
  // Before the first compile there is no line table to bind to.
  const bool compiled = !debugger_->Info().Empty();
  for (std::size_t i = 0; i < bound.size() && i < requestedAt.size(); ++i) {
    const TBreakpoint& b = bound[i];
    editor_.SetBreakpointVerified(requestedAt[i], b.verified || !compiled);
    if (compiled && !b.message.empty()) notes << FromCp932(b.message);
    if (compiled && !b.verified) refusedAt[requestedAt[i]] = FromCp932(b.message);
  }
  requestedAt_ = requestedAt;
  refusedAt_ = std::move(refusedAt);
  bindingNote_ = notes.join("\n").toStdString();
  if (!debugger_->Held()) {
    ShowRunning();
  } else {
    // A held run keeps its stop's status, with the breakpoints' notes under it.
    Status->setText(heldStatus_ + (notes.isEmpty() ? QString() : "\n" + notes.join("\n")));
  }
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
void DebugPanel::StepInstruction() { Go(&TDebugger::StepInstruction); }
void DebugPanel::StepInstructionOver() { Go(&TDebugger::StepInstructionOver); }

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
  for (QAction* a : {ContinueAction, StepOverAction, StepIntoAction, StepOutAction, StopAction, StepInstructionAction,
                     StepInstructionOverAction})
    a->setEnabled(false);
  Code->clear();
  Stacks->clear();
  PauseAction->setEnabled(true);
}

void DebugPanel::OnStopped(TStopReason reason) {
  showingHeld_ = true;
  frame_ = 0;
  QString status = QString::fromUtf8(ReasonText(reason));
  if (reason == TStopReason::kException || reason == TStopReason::kDataBreakpoint)
    status += FromCp932(debugger_->StopMessage());
  const int line = editor_.LineOfCompiled(debugger_->CurrentLine());
  if (line >= 0) status += QString::fromUtf8(" (%1行目)").arg(line + 1);
  if (editor_.ChangedSinceCompile()) status += QString::fromUtf8("\nコンパイルの後に編集されています: 行は編集に合わせて示します");
  heldStatus_ = status;
  Status->setText(status);
  for (QAction* a : {ContinueAction, StepOverAction, StepIntoAction, StepOutAction, StopAction, StepInstructionAction,
                     StepInstructionOverAction})
    a->setEnabled(true);
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
    // A frame inside an expression names the column too: "5:12".
    QString where = line >= 0 ? QString::number(line + 1) : QString();
    if (line >= 0 && f.column >= 0) where += ":" + QString::number(f.column + 1);
    auto* item = new QTreeWidgetItem(Stack, {f.name.empty() ? QStringLiteral("(macro)") : FromCp932(f.name), where});
    item->setData(1, Qt::UserRole, line);
  }
  lastValues_ = shownValues_;
  ShowVariables();
  ShowWatches();
  ShowCode();
}

void DebugPanel::AskSetting(const char* title, const char* prompt, QString MacroEditor::BreakpointSettings::*field) {
  const int line = editor_.CaretLine();
  MacroEditor::BreakpointSettings settings = editor_.BreakpointOptions(line);
  bool ok = false;
  const QString text = QInputDialog::getText(this, QString::fromUtf8(title), QString::fromUtf8(prompt).arg(line + 1),
                                             QLineEdit::Normal, settings.*field, &ok);
  if (!ok) return;
  settings.*field = text;
  editor_.SetBreakpointOptions(line, settings);
}

QString DebugPanel::ValueText(const QString& expression, bool* ok) {
  std::string text, error;
  if (!TryUtf8ToCp932(expression.toStdString(), text, error)) {
    if (ok) *ok = false;
    return UnconvertibleText(expression);
  }
  std::int16_t value = 0;
  // Between runs the locals and externals keep their values: they can be
  // looked at then too.
  const bool evaluated = debugger_->Evaluate(text, value, error, debugger_->Held() ? frame_ : 0);
  if (ok) *ok = evaluated;
  return evaluated ? QString::number(value) : FromCp932(error);
}

void DebugPanel::ToggleDataBreakpoint(const std::string& name) {
  auto it = std::find_if(dataRequests_.begin(), dataRequests_.end(),
                         [&](const TDataBreakpointRequest& r) { return r.name == name; });
  if (it != dataRequests_.end()) {
    dataRequests_.erase(it);
  } else {
    TDataBreakpointRequest r;
    r.name = name;
    r.frame = frame_;
    dataRequests_.push_back(std::move(r));
  }
  const std::vector<TDataBreakpoint>& bound = debugger_->SetDataBreakpoints(dataRequests_);
  QStringList watched;
  for (const TDataBreakpoint& d : bound)
    watched << (d.verified ? FromCp932(d.name) : FromCp932(d.name) + " (" + FromCp932(d.message) + ")");
  Status->setText(watched.isEmpty() ? QString::fromUtf8("値の変化での停止なし")
                                    : QString::fromUtf8("値の変化で停止: ") + watched.join(QString::fromUtf8("、")));
}

void DebugPanel::AddWatch(const QString& expression) {
  auto* item = new QTreeWidgetItem(Watches, {expression, ValueText(expression)});
  lastWatches_[expression] = item->text(1);
}

void DebugPanel::ShowWatches() {
  for (int i = 0; i < Watches->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = Watches->topLevelItem(i);
    const QString value = ValueText(item->text(0));
    item->setText(1, value);
    // Changed since the last stop.
    const auto last = lastWatches_.find(item->text(0));
    const bool changed = last != lastWatches_.end() && last->second != value;
    QFont font = item->font(1);
    font.setBold(changed);
    item->setFont(1, font);
    item->setForeground(1, changed ? QBrush(QColor(220, 40, 40)) : QBrush());
    lastWatches_[item->text(0)] = value;
  }
}

void DebugPanel::EvaluateNow() {
  const QString expression = EvaluateLine->text().trimmed();
  if (expression.isEmpty()) return;
  bool ok = false;
  const QString value = ValueText(expression, &ok);
  EvaluateResult->setText(ok ? expression + " = " + value : value);
}

void DebugPanel::ShowCode() {
  Code->clear();
  Stacks->clear();
  if (!debugger_->Held()) return;
  const std::uint16_t pc = debugger_->CurrentPc();
  QTreeWidgetItem* current = nullptr;
  for (const TInstructionText& t : debugger_->Instructions(pc, -8, 24)) {
    const int line = editor_.LineOfCompiled(t.line);
    auto* item = new QTreeWidgetItem(Code, {t.pc == pc ? QString::fromUtf8("▶") : QString(),
                                            QString("%1").arg(t.pc, 4, 16, QChar('0')).toUpper(),
                                            QString::fromStdString(t.text),
                                            line >= 0 ? QString::number(line + 1) : QString(),
                                            QString::fromStdString(t.bytes)});
    if (t.pc == pc) {
      current = item;
      for (int c = 0; c < Code->columnCount(); ++c) {
        QFont bold = item->font(c);
        bold.setBold(true);
        item->setFont(c, bold);
        item->setBackground(c, QColor(90, 80, 0));
        item->setForeground(c, QColor(255, 255, 255));
      }
    }
  }
  if (current) Code->scrollToItem(current, QAbstractItemView::PositionAtCenter);
  const TMachine& m = debugger_->Machine();
  auto* operands = new QTreeWidgetItem(
      Stacks, {QString::fromUtf8("オペランドスタック (SP=%1, FP=%2, AC=%3)").arg(m.SP).arg(m.FP).arg(m.AC)});
  for (int i = m.SP - 1; i >= 0; --i)
    new QTreeWidgetItem(operands, {QString("S[%1]").arg(i), QString::number(m.S[i])});
  auto* returns = new QTreeWidgetItem(Stacks, {QString::fromUtf8("リターンスタック (RSP=%1)").arg(m.RSP)});
  for (int i = m.RSP - 1; i >= 0; --i) {
    const int line = editor_.LineOfCompiled(debugger_->Info().LineOf(m.RS[i]));
    new QTreeWidgetItem(returns, {QString("RS[%1]").arg(i),
                                  QString("%1").arg(m.RS[i], 4, 16, QChar('0')).toUpper() +
                                      (line >= 0 ? QString::fromUtf8(" (%1行目)").arg(line + 1) : QString())});
  }
  // The stacks' headings are whole across the pane.
  for (QTreeWidgetItem* heading : {operands, returns}) {
    heading->setFirstColumnSpanned(true);
    heading->setExpanded(true);
  }
}

void DebugPanel::ShowVariables() {
  Variables->clear();
  shownValues_.clear();
  auto scope = [this](const char* caption, const char* key, const std::vector<TVariable>& list) {
    auto* top = new QTreeWidgetItem(Variables, {QString::fromUtf8(caption)});
    for (const TVariable& v : list) {
      auto* item = new QTreeWidgetItem(top, {FromCp932(v.name), QString::number(v.value)});
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
    Status->setText(FromCp932(error));
    return;
  }
  ShowVariables();
}

DebugPanel* InstallDebugPanel(TfScrTool& tool, TRunner& runner, Simulator& sim, TDM& dm) {
  auto* panel = new DebugPanel(runner, sim, dm, *tool.Editor1, &tool);
  panel->showLog = [&tool](const std::string& line) { tool.SetMessage(line); };
  auto* dock = new QDockWidget(QString::fromUtf8("デバッガ"), &tool);
  dock->setObjectName("DebugDock");
  dock->setWidget(panel);
  tool.addDockWidget(Qt::RightDockWidgetArea, dock);
  QMenu* menu = tool.menuBar()->addMenu(QString::fromUtf8("デバッグ(&D)"));
  for (QAction* a : {panel->ContinueAction, panel->PauseAction, panel->StepOverAction, panel->StepIntoAction,
                     panel->StepOutAction, panel->StopAction}) {
    menu->addAction(a);
  }
  menu->addAction(panel->StepInstructionAction);
  menu->addAction(panel->StepInstructionOverAction);
  menu->addSeparator();
  menu->addAction(panel->ToggleAction);
  menu->addAction(panel->ConditionAction);
  menu->addAction(panel->HitConditionAction);
  menu->addAction(panel->LogPointAction);
  return panel;
}

}  // namespace qmt
