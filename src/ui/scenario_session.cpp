#include "ui/scenario_session.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <filesystem>

#include "device/png.h"
#include "host/page_pictures.h"
#include "support/file_io.h"
#include "device/qmt3308.h"
#include "host/scenario_machine.h"
#include "ui/file_messages.h"
#include "ui/main_window.h"
#include "ui/scenario_review_dialog.h"
#include "ui/sensor_panel.h"

namespace qmt {

// The scenario's inputs move the window's controls, so that the window
// shows what the model has; the model is told once, as the headless
// player tells it.
class ScenarioSession::WindowTarget : public ScenarioTarget {
 public:
  WindowTarget(TFDemo& window, TfSens& sensors, TQMT3308& device, ScenarioTap& tap)
      : window_(window), sensors_(sensors), device_(device), tap_(tap) {}
  Simulator& Model() override { return window_.Model(); }
  const TQMT3308& Screen() const override { return device_; }
  void SetCell(int id, std::int16_t value) override { tap_.SetExt(id, value); }
  std::vector<std::string> TakeLines() override { return tap_.TakeLines(); }
  std::vector<std::string> TakeMessages() override { return tap_.TakeMessages(); }
  void MoveSlider(Slider slider, int position) override {
    QSlider* s = window_.Track(slider);
    {
      QSignalBlocker block(s);
      s->setValue(position);
    }
    Model().SetSlider(slider, position);
  }
  void SetBox(int index, bool on) override {
    QCheckBox* b = sensors_.Box(index);
    {
      QSignalBlocker block(b);
      b->setChecked(on);
    }
    Model().SetSwitch(index, on);
  }
  void SetTimerBox(bool on) override {
    {
      QSignalBlocker block(window_.CheckTimer());
      window_.CheckTimer()->setChecked(on);
    }
    Model().SetTimerEnabled(on);
  }

 private:
  TFDemo& window_;
  TfSens& sensors_;
  TQMT3308& device_;
  ScenarioTap& tap_;
};

ScenarioSession::ScenarioSession(TFDemo& window, TfSens& sensors, TQMT3308& device, ScenarioTap& tap,
                                 std::function<void()> reset)
    : window_(window), sensors_(sensors), device_(device), tap_(tap), reset_(std::move(reset)) {
  window_.onKey = [this](int key) {
    if (recorder_) recorder_->Key(key);
  };
  window_.onSlider = [this](Slider s, int v) {
    if (recorder_) recorder_->Slider(s, v);
  };
  window_.onTimerBox = [this](bool on) {
    if (recorder_) recorder_->TimerBox(on);
  };
  window_.onTick = [this](int step, std::uint64_t ms) { RecordTick(step, ms); };
  sensors_.onBox = [this](int index, bool on) {
    if (recorder_) recorder_->Box(index, on);
  };
  sensors_.onEvent = [this](const std::string& label) {
    if (recorder_) recorder_->Event(label);
  };
  replayTimer_.setSingleShot(true);
  connect(&replayTimer_, &QTimer::timeout, this, &ScenarioSession::ReplayNext);
  window_.Model().onReleased = [this] {
    if (!waitingForRelease_) return;
    waitingForRelease_ = false;
    replayTimer_.start(0);
  };
  BuildMenu();
}

ScenarioSession::~ScenarioSession() {
  // A recording is not lost when the window closes.
  if (recorder_) StopRecording();
  window_.onKey = nullptr;
  window_.onSlider = nullptr;
  window_.onTimerBox = nullptr;
  window_.onTick = nullptr;
  sensors_.onBox = nullptr;
  sensors_.onEvent = nullptr;
  window_.Model().onReleased = nullptr;
}

void ScenarioSession::BuildMenu() {
  QMenu* menu = window_.menuBar()->addMenu(QString::fromUtf8("シナリオ(&S)"));
  auto complain = [this](const QString& error) {
    if (!error.isEmpty() && window_.showMessage) window_.showMessage(error);
  };
  start_ = menu->addAction(QString::fromUtf8("記録開始…"));
  connect(start_, &QAction::triggered, this, [this, complain] {
    QString file = QFileDialog::getSaveFileName(&window_, QString::fromUtf8("記録するシナリオファイル"), "session.scn",
                                                QString::fromUtf8("シナリオ (*.scn)"));
    QString error;
    if (!file.isEmpty() && !StartRecording(file, &error)) complain(error);
  });
  expect_ = menu->addAction(QString::fromUtf8("この画面を期待値にする"));
  connect(expect_, &QAction::triggered, this, [this, complain] {
    QString error;
    if (!ExpectScreenHere(&error)) complain(error);
  });
  stop_ = menu->addAction(QString::fromUtf8("記録停止"));
  connect(stop_, &QAction::triggered, this, [this, complain] {
    QString error;
    if (!StopRecording(&error)) complain(error);
  });
  menu->addSeparator();
  replay_ = menu->addAction(QString::fromUtf8("シナリオを再生…"));
  connect(replay_, &QAction::triggered, this, [this, complain] {
    QString file = QFileDialog::getOpenFileName(&window_, QString::fromUtf8("再生するシナリオ"), QString(),
                                                QString::fromUtf8("シナリオ (*.scn)"));
    QString error;
    if (!file.isEmpty() && !StartReplay(file, false, &error)) complain(error);
  });
  review_ = menu->addAction(QString::fromUtf8("失敗したチェックを確認…"));
  connect(review_, &QAction::triggered, this, [this, complain] {
    QString folder = QFileDialog::getExistingDirectory(&window_, QString::fromUtf8("シナリオのフォルダ"));
    QString error;
    if (folder.isEmpty()) return;
    if (ScenarioReviewDialog* dialog = StartReview(folder, &error)) {
      dialog->show();
    } else {
      complain(error);
    }
  });
  menu->addSeparator();
  QAction* gif = menu->addAction(QString::fromUtf8("直近の画面をGIFで保存…"));
  connect(gif, &QAction::triggered, this, [this, complain] {
    bool ok = false;
    int seconds = QInputDialog::getInt(&window_, QString::fromUtf8("GIFで保存"), QString::fromUtf8("直近の秒数:"), 10, 1,
                                       kRecentSeconds, 1, &ok);
    if (!ok) return;
    QString file = QFileDialog::getSaveFileName(&window_, QString::fromUtf8("GIFの保存先"), "screen.gif",
                                                QString::fromUtf8("GIF (*.gif)"));
    QString error;
    if (!file.isEmpty() && !SaveRecentGif(file, seconds, &error)) complain(error);
  });
  UpdateActions();
}

void ScenarioSession::UpdateActions() {
  start_->setEnabled(!recorder_ && !replaying_);
  stop_->setEnabled(recorder_ != nullptr);
  expect_->setEnabled(recorder_ != nullptr);
  replay_->setEnabled(!recorder_ && !replaying_);
}

void ScenarioSession::RecordTick(int step, std::uint64_t ms) {
  if (recorder_) recorder_->Tick(step);
  recent_.Add(device_.DisplayPageBytes(), ms);
  if (ms > kRecentSeconds * 1000ull) recent_.DropBefore(ms - kRecentSeconds * 1000ull);
  // A page that changes all over on every tick keeps fewer seconds.
  recent_.DropOldestBeyond(kRecentBytes);
}

void ScenarioSession::StartMacroAfresh() {
  sensors_.CancelPending();
  reset_();
  window_.Model().StartMacro();
}

bool ScenarioSession::StartRecording(const QString& file, QString* error) {
  if (recorder_ || replaying_) {
    if (error) *error = QString::fromUtf8("記録中または再生中です");
    return false;
  }
  tap_.SetTaping(false);
  StartMacroAfresh();
  recorder_ = std::make_unique<ScenarioRecorder>(file.toStdString());
  recorder_->RecordInputs(window_.Model());
  // The model learns the inputs again as the replay will tell it.
  Simulator& model = window_.Model();
  for (int i = 0; i < kSliderCount; ++i) {
    int v = model.SliderPosition(static_cast<Slider>(i));
    if (v != 0) model.SetSlider(static_cast<Slider>(i), v);
  }
  UpdateActions();
  return true;
}

bool ScenarioSession::StopRecording(QString* error) {
  if (!recorder_) return true;
  std::unique_ptr<ScenarioRecorder> recorder = std::move(recorder_);
  UpdateActions();
  try {
    recorder->Save();
  } catch (const std::exception& e) {
    if (error) *error = FileErrorText(e);
    return false;
  }
  return true;
}

bool ScenarioSession::ExpectScreenHere(QString* error) {
  if (!recorder_) return false;
  std::string name = recorder_->NextPictureName();
  std::filesystem::path path = std::filesystem::path(recorder_->File()).parent_path() / name;
  try {
    WriteFileAtomic(path.string(), EncodePagePng(device_.DisplayPageBytes()));
  } catch (const std::exception& e) {
    if (error) *error = FileErrorText(e);
    return false;
  }
  recorder_->ExpectScreen(name);
  return true;
}

bool ScenarioSession::StartReplay(const QString& file, bool fast, QString* error) {
  if (recorder_ || replaying_) {
    if (error) *error = QString::fromUtf8("記録中または再生中です");
    return false;
  }
  Scenario scenario;
  try {
    // Read here rather than by ReadScenario, so that an unreadable file
    // keeps its reason for the window's own words.
    const std::string path = file.toStdString();
    scenario = ParseScenario(ReadFile(path), path);
  } catch (const std::exception& e) {
    if (error) *error = FileErrorText(e);
    return false;
  }
  replayName_ = QFileInfo(file).completeBaseName();
  fast_ = fast;
  window_.Timer1().stop();
  target_ = std::make_unique<WindowTarget>(window_, sensors_, device_, tap_);
  // A fresh program: the controls at rest, then the macro's start.
  for (int i = 0; i < kSliderCount; ++i) target_->MoveSlider(static_cast<Slider>(i), 0);
  for (int i = 0; i < kSwitchCount; ++i) target_->SetBox(i, false);
  target_->SetTimerBox(true);
  tap_.SetTaping(true);
  replaying_ = std::make_unique<ScenarioReplay>(std::move(scenario), *target_, [this] { StartMacroAfresh(); });
  UpdateActions();
  // The start-up run now, as the window starts a macro.
  ReplayNext();
  return true;
}

void ScenarioSession::ReplayNext() {
  if (!replaying_) return;
  // As fast as possible still lets the window paint between batches.
  const int batch = fast_ ? 200 : 1;
  for (int i = 0; i < batch && !replaying_->Done(); ++i) {
    const std::optional<ReplayedStep> step = replaying_->Advance();
    if (step && step->result.status != StepResult::Status::kOk) {
      EndReplay(step->result);
      return;
    }
    if (replaying_->Held()) {
      // While the debugger holds a run the scenario stands still too: its
      // next inputs wait, no tick passes, and it does not end, until the
      // run has been let go.
      waitingForRelease_ = true;
      return;
    }
  }
  if (replaying_->Done()) {
    EndReplay(StepResult{});
    return;
  }
  replayTimer_.start(fast_ ? 0 : replaying_->NextDelayMs());
}

void ScenarioSession::EndReplay(const StepResult& result) {
  const bool passed = result.status == StepResult::Status::kOk;
  QString line = passed ? "PASS " + replayName_
                        : (result.status == StepResult::Status::kError ? "ERROR " : "FAIL ") + replayName_ + ": " +
                              QString::fromStdString(FailureText(result));
  replaying_.reset();
  waitingForRelease_ = false;
  tap_.SetTaping(false);
  UpdateActions();
  window_.Timer1().start();
  emit finished(passed, line);
}

ScenarioReviewDialog* ScenarioSession::StartReview(const QString& folder, QString* error) {
  namespace fs = std::filesystem;
  std::vector<ScenarioReview::Entry> entries;
  std::error_code ec;
  const fs::path root(folder.toStdString());
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && it->path().extension() == ".scn") {
      fs::path rel = it->path().lexically_relative(root);
      rel.replace_extension();
      entries.push_back({rel.generic_string(), it->path().string()});
    }
  }
  if (entries.empty()) {
    if (error) *error = QString::fromUtf8("%1 にシナリオ (*.scn) がありません").arg(folder);
    return nullptr;
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  if (!macro_) {
    if (error) *error = QString::fromUtf8("マクロがありません");
    return nullptr;
  }
  auto* dialog = new ScenarioReviewDialog(std::move(entries), macro_(), &window_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  return dialog;
}

bool ScenarioSession::SaveRecentGif(const QString& file, int seconds, QString* error) {
  if (!recent_.Started()) recent_.Start(device_.DisplayPageBytes(), window_.ClockMs());
  PageAnimation last = recent_;
  const std::uint64_t now = window_.ClockMs();
  last.Add(device_.DisplayPageBytes(), now);
  last.End(now);
  const std::uint64_t span = static_cast<std::uint64_t>(seconds) * 1000;
  if (now > span) last.DropBefore(now - span);
  try {
    WriteAnimationGif(file.toStdString(), last);
  } catch (const std::exception& e) {
    if (error) *error = FileErrorText(e);
    return false;
  }
  return true;
}

}  // namespace qmt
