// Scenarios in the simulator window: recording what the user does to a
// scenario file, checks of the screen taken while recording, replaying a
// scenario at real speed or as fast as possible, and the last seconds of
// the display page as an animated GIF.  The engine is the host's scenario
// player; this class only binds it to the window's controls and menu.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "host/page_animation.h"
#include "host/scenario.h"
#include "host/scenario_recorder.h"
#include "host/scenario_machine.h"
#include "host/scenario_replay.h"
#include "host/scenario_runner.h"

class QAction;

namespace qmt {

class ScenarioReviewDialog;
class ScenarioTap;
class TFDemo;
class TfSens;
class TQMT3308;

class ScenarioSession : public QObject {
  Q_OBJECT
 public:
  // `reset` puts the runner, device and model back to a fresh program's
  // state (ResetForScenario); `tap` is the model's runner.
  ScenarioSession(TFDemo& window, TfSens& sensors, TQMT3308& device, ScenarioTap& tap,
                  std::function<void()> reset);
  ~ScenarioSession() override;

  // Seconds of the display page kept for SaveRecentGif.
  static constexpr int kRecentSeconds = 60;
  // ... within this much memory.
  static constexpr std::size_t kRecentBytes = std::size_t{64} << 20;

  // Restarts the macro as a fresh program and records from there.  False
  // with a message while recording or replaying.
  bool StartRecording(const QString& file, QString* error = nullptr);
  // Writes the recording.  False with a message when the file cannot be
  // written.
  bool StopRecording(QString* error = nullptr);
  bool Recording() const { return recorder_ != nullptr; }
  // Saves the display page beside the recording and adds its check.
  bool ExpectScreenHere(QString* error = nullptr);

  // Replays a scenario in the window; `fast` runs ticks without waiting.
  // The window's own timer pauses meanwhile.  finished() tells the outcome.
  bool StartReplay(const QString& file, bool fast, QString* error = nullptr);
  bool Replaying() const { return replaying_ != nullptr; }

  // The macro the review runs scenarios against: the window's own.
  void SetMacroSource(std::function<CompiledMacro()> macro) { macro_ = std::move(macro); }
  // Opens the review of the failing checks of the scenarios in `folder`
  // (at any depth).  Null with a message when there is none to run.
  ScenarioReviewDialog* StartReview(const QString& folder, QString* error = nullptr);

  // Writes the last `seconds` of the display page as an animated GIF.
  bool SaveRecentGif(const QString& file, int seconds, QString* error = nullptr);

 signals:
  // One line as qmt test prints it: "PASS name" or "FAIL name: ...".
  void finished(bool passed, const QString& line);

 private:
  class WindowTarget;
  void BuildMenu();
  void UpdateActions();
  void ReplayNext();
  void EndReplay(const StepResult& result);
  void RecordTick(int step, std::uint64_t ms);
  void StartMacroAfresh();

  TFDemo& window_;
  TfSens& sensors_;
  TQMT3308& device_;
  ScenarioTap& tap_;
  std::function<void()> reset_;
  std::function<CompiledMacro()> macro_;
  std::unique_ptr<ScenarioRecorder> recorder_;
  PageAnimation recent_;
  // Replay.
  std::unique_ptr<WindowTarget> target_;
  // The same driver as the debug adapter's: a step's outcome waits for
  // the runs it started, held ones included.
  std::unique_ptr<ScenarioReplay> replaying_;
  // A run is held: the model's onReleased goes on with the replay.
  bool waitingForRelease_ = false;
  QString replayName_;
  bool fast_ = false;
  QTimer replayTimer_;
  QAction* start_ = nullptr;
  QAction* stop_ = nullptr;
  QAction* expect_ = nullptr;
  QAction* replay_ = nullptr;
  QAction* review_ = nullptr;
};

}  // namespace qmt
