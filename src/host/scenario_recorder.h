// Writes what a user does in the simulator window as a scenario: every input
// in the order it reached the macro, and the window's timer ticks with the
// step each one added to the clocks (the window's ticks follow real time),
// so that replaying the file gives the same pages byte for byte.
//
// The file is written as the recording grows, each step as it comes and the
// running count of ticks in place, so that a program killed while recording
// leaves the scenario as far as it went.
#pragma once

#include <cstdint>
#include <string>

#include "host/simulator.h"

namespace qmt {

class ScenarioRecorder {
 public:
  // `file` is where the recording is written; the header names the macro's
  // source.  A file that cannot be made is reported by Save.
  explicit ScenarioRecorder(std::string file, const std::string& headerUtf8 = {});
  ~ScenarioRecorder();
  ScenarioRecorder(const ScenarioRecorder&) = delete;
  ScenarioRecorder& operator=(const ScenarioRecorder&) = delete;

  // The model's state at the start, as the first steps: sliders away from
  // 0, boxes that are on, the timer box when it is off.  Call right after
  // the macro was started again.
  void RecordInputs(const Simulator& model);

  void Key(int index);
  // A label raised directly: the sensor panel's event (code page 932).
  void Event(const std::string& label);
  void Slider(qmt::Slider slider, int position);
  void Box(int index, bool on);
  void TimerBox(bool on);
  // One tick of the window's timer that added `step` (10 ms units).
  void Tick(int step);
  // A screen check: `picture` is the file name beside the scenario.
  void ExpectScreen(const std::string& picture);
  // The next free "NAME-N.png" beside the scenario for ExpectScreen.
  std::string NextPictureName();

  const std::string& File() const { return file_; }
  // The scenario so far (UTF-8).
  std::string Text() const;
  // Writes it whole (temporary file and rename).  Raises FileError.
  void Save();

 private:
  void Add(const std::string& step);
  void FlushTicks();
  std::string PendingTicks() const;
  // Brings the file up to Text().
  void WriteGrowth();

  std::string file_;
  std::string text_;
  int tickCount_ = 0;
  int tickStep_ = -1;
  int pictures_ = 0;
  std::int64_t ticks_ = 0;
  int fd_ = -1;               // the file as it grows; -1 when it could not be made
  std::size_t committed_ = 0; // bytes of text_ in the file
  std::size_t fileSize_ = 0;
};

}  // namespace qmt
