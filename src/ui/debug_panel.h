// The macro debugger in the tool window: the commands (buttons and keys),
// the call stack and the variables of a held run, and the breakpoints of
// the macro editor's margin, over the debugger attached to the main runner.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compiler/script.h"
#include "runtime/debugger.h"
#include "ui/macro_editor.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace qmt {

class MacroEditor;
class Simulator;
class TDM;
class TfScrTool;

class DebugPanel : public QWidget {
  Q_OBJECT
 public:
  // Attaches a debugger to `runner` (the main runner, driven by `sim`);
  // `dm` compiles the macro the runner runs and shows in `editor`.
  DebugPanel(TRunner& runner, Simulator& sim, TDM& dm, MacroEditor& editor, QWidget* parent = nullptr);
  ~DebugPanel() override;

  TDebugger& Debugger() { return *debugger_; }

  // The commands, with their keys; the owner adds them to its window.
  QAction *ContinueAction, *PauseAction, *StepOverAction, *StepIntoAction, *StepOutAction, *StopAction,
      *ToggleAction, *ConditionAction, *HitConditionAction, *LogPointAction, *StepInstructionAction,
      *StepInstructionOverAction, *DataBreakpointAction;
  QCheckBox* StopOnMessage;  // 実行メッセージで停止
  QTreeWidget* Stack;
  QTreeWidget* Variables;
  QLabel* Status;
  // Expressions evaluated again at every stop, a changed value marked; the
  // evaluate line and its result.
  QTreeWidget* Watches;
  QLineEdit* EvaluateLine;
  QLabel* EvaluateResult;
  // The P-code around the held instruction (marked), and the operand and
  // return stacks.
  QTreeWidget* Code;
  QTreeWidget* Stacks;
  // The log points' lines, the latest last.
  QPlainTextEdit* Log;
  // Also gets each log line (code page 932): the tool window's message line.
  std::function<void(const std::string&)> showLog;

  void Continue();
  void Pause();
  void StepOver();
  void StepInto();
  void StepOut();
  void StepInstruction();
  void StepInstructionOver();
  void Stop();
  void AddWatch(const QString& expression);
  // Stops when the variable (code page 932: a local, an external or @n of
  // the frame shown) changes; again, no longer.
  void ToggleDataBreakpoint(const std::string& name);
  // Evaluates the evaluate line's expression into EvaluateResult.
  void EvaluateNow();

 private:
  void Go(TRunEnd (TDebugger::*command)());
  void AfterRun();
  void ShowRunning();
  void OnStopped(TStopReason reason);
  void Refresh();
  void ShowVariables();
  void EditVariable(QTreeWidgetItem* item);
  void ShowWatches();
  void ShowCode();
  // The value of `expression` (UTF-8) in the shown frame, or why not.
  QString ValueText(const QString& expression, bool* ok = nullptr);
  // Asks for one of a breakpoint's settings on the caret's line.
  void AskSetting(const char* title, const char* prompt, QString MacroEditor::BreakpointSettings::*field);
  void SyncBreakpoints();
  void ImageLoaded();

  TRunner& runner_;
  Simulator& sim_;
  TDM& dm_;
  MacroEditor& editor_;
  TScript spare_;  // compiles conditions with the data module's names
  std::unique_ptr<TDebugger> debugger_;
  int frame_ = 0;  // the frame whose arguments are shown
  bool showingHeld_ = false;  // the panes show a held run
  std::map<std::string, std::int16_t> lastValues_, shownValues_;
  std::string bindingNote_;  // how the breakpoints were bound (UTF-8)
  std::vector<int> requestedAt_;  // the editor's line of each bound breakpoint
  std::map<int, QString> refusedAt_;  // why the breakpoint of an editor's line is not set
  QString heldStatus_;  // the status of the held run's stop
  std::vector<TDataBreakpointRequest> dataRequests_;
  std::map<QString, QString> lastWatches_;  // the watches' values at the stop before
};

// Puts the debugger into the tool window: a dock beside the editor, and the
// commands in its menu with their keys.
DebugPanel* InstallDebugPanel(TfScrTool& tool, TRunner& runner, Simulator& sim, TDM& dm);

}  // namespace qmt
