// The macro debugger in the tool window: the commands (buttons and keys),
// the call stack and the variables of a held run, and the breakpoints of
// the macro editor's margin, over the debugger attached to the main runner.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "compiler/script.h"
#include "runtime/debugger.h"

class QAction;
class QCheckBox;
class QLabel;
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
      *ToggleAction, *ConditionAction;
  QCheckBox* StopOnMessage;  // 実行メッセージで停止
  QTreeWidget* Stack;
  QTreeWidget* Variables;
  QLabel* Status;

  void Continue();
  void Pause();
  void StepOver();
  void StepInto();
  void StepOut();
  void Stop();

 private:
  void Go(TRunEnd (TDebugger::*command)());
  void AfterRun();
  void ShowRunning();
  void OnStopped(TStopReason reason);
  void Refresh();
  void ShowVariables();
  void EditVariable(QTreeWidgetItem* item);
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
};

// Puts the debugger into the tool window: a dock beside the editor, and the
// commands in its menu with their keys.
DebugPanel* InstallDebugPanel(TfScrTool& tool, TRunner& runner, Simulator& sim, TDM& dm);

}  // namespace qmt
