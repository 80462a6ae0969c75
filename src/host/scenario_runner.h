// The scenario engine: carries out a scenario's steps one at a time against
// a simulator model and reports the outcome of each check.  `qmt run
// --scenario`, `qmt test` and the simulator window all replay through it;
// the window drives it tick by tick at real speed, the headless tool as
// fast as it can.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/bmp.h"
#include "host/scenario.h"
#include "host/simulator.h"

namespace qmt {

class TQMT3308;
class TRunner;

// What a scenario drives: the simulator model, the device behind it, the
// lines it sent and the run messages since they were last taken.  Inputs
// pass through the virtual members so that a window can move its controls
// as well.
class ScenarioTarget {
 public:
  virtual ~ScenarioTarget() = default;
  virtual Simulator& Model() = 0;
  virtual const TQMT3308& Screen() const = 0;
  virtual void SetCell(int id, std::int16_t value) = 0;
  // Command lines the device accepted, raw bytes.
  virtual std::vector<std::string> TakeLines() = 0;
  // Run messages (code page 932).
  virtual std::vector<std::string> TakeMessages() = 0;
  virtual void MoveSlider(Slider slider, int position) { Model().SetSlider(slider, position); }
  virtual void SetBox(int index, bool on) { Model().SetSwitch(index, on); }
  virtual void SetTimerBox(bool on) { Model().SetTimerEnabled(on); }
};

struct ScenarioOptions {
  // Takes what the checks of files see as their new content instead of
  // comparing (StepResult::write); nothing is written here.
  bool update = false;
  // When set (from another thread), the run ends at the next tick or step
  // as an error, "stopped".
  const std::atomic<bool>* stop = nullptr;
};

// What an update takes for one check of a file: its new content and what
// changed.  Two checks of one file may see different screens; `seen` tells
// them apart, so that the caller writes only a file all its checks agree on.
struct BaselineWrite {
  std::string path;
  int line = 0;
  std::string step;        // the check as written (UTF-8)
  std::uint64_t seen = 0;  // a digest of what the check saw
  bool exists = false;     // the file was there
  bool changed = false;    // it differs from what the check saw (or is missing)
  std::string bytes;       // the new content, when changed
  std::string change;      // "1,204 pixels changed", "3 of 40 lines changed"
};

struct StepResult {
  enum class Status { kOk, kFailed, kError };
  Status status = Status::kOk;
  bool stepDone = true;   // false while a tick step has ticks left
  int line = 0;           // the step's line; 0 for the start-up run
  std::string step;       // the step as written (UTF-8)
  std::string path;       // a check of a file: the file
  std::string message;    // what failed (UTF-8)
  // A screen or page check that failed: the page as it was and the
  // baseline, when there was one that could be read.
  bool pictures = false;
  std::vector<std::uint8_t> actual;
  bool haveBaseline = false;
  RgbImage baseline;
  // A lines check that failed: the lines sent and the lines expected
  // (escaped form, code page 932).
  bool lines = false;
  std::vector<std::string> actualLines;
  std::vector<std::string> expectedLines;
  // The rectangles a failed screen or page check disregarded.
  std::vector<PageRect> ignored;
  // With ScenarioOptions::update, for a check of a file.
  bool haveWrite = false;
  BaselineWrite write;
};

class ScenarioPlayer {
 public:
  ScenarioPlayer(const Scenario& scenario, ScenarioTarget& target, ScenarioOptions options = {});

  // Takes what the start-up run reported; call once, after the macro has
  // started and before the first step.
  StepResult Begin();
  bool AtEnd() const { return next_ >= scenario_.steps.size(); }
  const ScenarioStep& Next() const { return scenario_.steps[next_]; }
  // Simulated time the next unit takes: a tick's 33 ms or its step x 10 ms;
  // 0 for anything else.
  int NextDelayMs() const;
  // Carries out the next step, or one tick of a tick step.
  StepResult Step();

  // Simulated time since the start.
  std::uint64_t NowMs() const { return nowMs_; }
  // Called after every tick with the simulated time.
  std::function<void(std::uint64_t ms)> onTick;

 private:
  StepResult Check(const ScenarioStep& step);
  StepResult CheckPicture(const ScenarioStep& step, const std::uint8_t* page, const std::string& what);
  StepResult CheckLines(const ScenarioStep& step);
  void CollectLines();
  StepResult Result(const ScenarioStep& step) const;

  const Scenario& scenario_;
  ScenarioTarget& target_;
  ScenarioOptions options_;
  std::size_t next_ = 0;
  int ticksDone_ = 0;
  std::uint64_t nowMs_ = 0;
  std::string pendingSwitchEvent_;  // code page 932
  // Lines since the previous lines check, while a later step checks them.
  std::size_t lastLinesCheck_ = 0;
  bool anyLinesCheck_ = false;
  std::vector<std::string> lines_;
  bool linesOverflow_ = false;
  std::vector<PageRect> ignored_;
};

// Lines kept for one lines check at most.
inline constexpr std::size_t kScenarioMaxLines = 1000000;

// Sets a runner, the device and the model back to how a fresh process has
// them, so that a recording started in a running window replays the same
// anywhere: white pages, a black image store, the device's start state,
// the built-ins' state, zero externals and locals, the timer's counts.  The
// model's inputs stay as they are.
void ResetForScenario(TRunner& runner, TQMT3308& device, Simulator& model);

// 1234567 -> "1,234,567".
std::string GroupedNumber(long long n);

// A 64-bit digest of bytes (FNV-1a).
std::uint64_t ContentDigest(std::string_view bytes);

}  // namespace qmt
