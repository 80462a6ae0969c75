#include "host/scenario_recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "host/scenario.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {

ScenarioRecorder::ScenarioRecorder(std::string file, const std::string& headerUtf8) : file_(std::move(file)) {
  text_ = "# Recorded in the simulator window.";
  if (!headerUtf8.empty()) text_ += " " + headerUtf8;
  text_ += "\n# Each tick is written with the step it added to the clocks (10 ms units).\n";
  fd_ = open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  WriteGrowth();
}

ScenarioRecorder::~ScenarioRecorder() {
  if (fd_ >= 0) close(fd_);
}

void ScenarioRecorder::WriteGrowth() {
  if (fd_ < 0) return;
  // What follows the committed text: the new steps and the running tick
  // line, written over the previous running tick line (the same or longer).
  const std::string tail = text_.substr(committed_) + PendingTicks();
  std::size_t done = 0;
  while (done < tail.size()) {
    const ssize_t n = pwrite(fd_, tail.data() + done, tail.size() - done, static_cast<off_t>(committed_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A full disk: Save says so at the end; the file keeps what it has.
      close(fd_);
      fd_ = -1;
      return;
    }
    done += static_cast<std::size_t>(n);
  }
  if (committed_ + tail.size() < fileSize_ && ftruncate(fd_, static_cast<off_t>(committed_ + tail.size())) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  fileSize_ = committed_ + tail.size();
  committed_ = text_.size();
}

void ScenarioRecorder::Add(const std::string& step) {
  FlushTicks();
  text_ += step;
  text_ += '\n';
  WriteGrowth();
}

std::string ScenarioRecorder::PendingTicks() const {
  if (tickCount_ == 0) return {};
  return "tick " + std::to_string(tickCount_) + " step " + std::to_string(tickStep_) + "\n";
}

void ScenarioRecorder::FlushTicks() {
  text_ += PendingTicks();
  tickCount_ = 0;
}

void ScenarioRecorder::RecordInputs(const Simulator& model) {
  for (int i = 0; i < kSliderCount; ++i) {
    int v = model.SliderPosition(static_cast<qmt::Slider>(i));
    if (v != 0) Slider(static_cast<qmt::Slider>(i), v);
  }
  for (int i = 0; i < kSwitchCount; ++i)
    if (model.SwitchState(i)) Box(i, true);
  if (!model.TimerEnabled()) TimerBox(false);
}

void ScenarioRecorder::Key(int index) { Add(std::string("key ") + kKeys[static_cast<std::size_t>(index)].caption); }

void ScenarioRecorder::Event(const std::string& label) { Add("event " + Cp932ToUtf8(label)); }

void ScenarioRecorder::Slider(qmt::Slider slider, int position) {
  Add(std::string("slider ") + kSliders[static_cast<std::size_t>(slider)].name + "=" + std::to_string(position));
}

void ScenarioRecorder::Box(int index, bool on) {
  Add(std::string("box ") + kSwitches[static_cast<std::size_t>(index)].caption + (on ? " on" : " off"));
}

void ScenarioRecorder::TimerBox(bool on) { Add(on ? "timer on" : "timer off"); }

void ScenarioRecorder::Tick(int step) {
  // A scenario holds a bounded number of ticks; a longer recording keeps
  // its start.
  if (ticks_ >= kScenarioMaxTicks) return;
  ++ticks_;
  if (tickCount_ > 0 && step != tickStep_) FlushTicks();
  tickStep_ = step;
  ++tickCount_;
  WriteGrowth();
}

std::string ScenarioRecorder::NextPictureName() {
  const std::string stem = std::filesystem::path(file_).stem().string();
  const std::filesystem::path dir = std::filesystem::path(file_).parent_path();
  while (true) {
    std::string name = stem + "-" + std::to_string(++pictures_) + ".png";
    std::error_code ec;
    if (!std::filesystem::exists(dir / name, ec)) return name;
  }
}

void ScenarioRecorder::ExpectScreen(const std::string& picture) { Add("expect screen " + picture); }

std::string ScenarioRecorder::Text() const { return text_ + PendingTicks(); }

void ScenarioRecorder::Save() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  WriteFileAtomic(file_, Text());
}

}  // namespace qmt
