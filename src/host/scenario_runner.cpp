#include "host/scenario_runner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "device/escape.h"
#include "device/png.h"
#include "device/qmt3308.h"
#include "host/page_pictures.h"
#include "host/scenario_diff.h"
#include "runtime/builtins.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {

std::string GroupedNumber(long long n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::uint64_t ContentDigest(std::string_view bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

void ResetForScenario(TRunner& runner, TQMT3308& device, Simulator& model) {
  for (int p = 0; p < 4; ++p) {
    std::memset(device.Page(p), 0xFF, kPageBytes);
    std::memset(device.StorePage(p), 0x00, kPageBytes);
  }
  device.MutableState() = DrawingState{};
  device.NotifyPageChanged(device.DisplayPage());
  TRuntimeContext& context = runner.Context();
  *(context.state ? context.state : &RuntimeState()) = TRuntimeState{};
  runner.externals.fill(0);
  TMachine& m = context.machine;
  std::fill(std::begin(m.L), std::end(m.L), 0);
  std::fill(std::begin(m.S), std::end(m.S), 0);
  std::fill(std::begin(m.RS), std::end(m.RS), 0);
  model.ResetTimerCounts();
}

namespace {

// False for a missing file, which an update creates; a folder or anything
// else that is not a file in its place is an error an update cannot mend.
bool FileExists(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return false;
  if (!std::filesystem::is_regular_file(status)) throw FileError(path + " is not a file (a folder?)");
  return true;
}

// Baselines and lines files are read once in a process and kept, while the
// file stays the same (the same inode, size and time): a suite reads a
// shared baseline once, and a scenario run again (a review) reads none.
// A decoded baseline is kept from its second read on: most are checked
// once, and decoding one again costs less than fresh memory for each.
struct FileKey {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileKey&) const = default;
};

bool KeyOf(const std::string& path, FileKey& key) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  key = {st.st_dev, st.st_ino, st.st_size, std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
  return true;
}

template <typename T>
class FileCache {
 public:
  // `keepFirst`: whether a file read the first time is kept, or only
  // noted, to be kept when it is read again.
  explicit FileCache(bool keepFirst) : keepFirst_(keepFirst) {}

  // The kept value, or what `read(keep)` makes of the file: with `keep`
  // false, a value that need not outlive the caller's use of it.
  template <typename Read>
  std::shared_ptr<const T> Get(const std::string& path, Read read) {
    FileKey key;
    const bool keyed = KeyOf(path, key);
    bool seen = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = entries_.find(path);
      if (keyed && it != entries_.end() && it->second.key == key) {
        if (it->second.value) return it->second.value;
        seen = true;
      }
    }
    const bool keep = keepFirst_ || seen;
    std::shared_ptr<const T> value = read(keep);
    // What could not be read is read again next time, for its message.
    if (keyed && value) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (entries_.size() >= kMaxEntries) entries_.clear();
      entries_[path] = {key, keep ? value : nullptr};
    }
    return value;
  }

 private:
  static constexpr std::size_t kMaxEntries = 64;
  struct Entry {
    FileKey key;
    std::shared_ptr<const T> value;
  };
  const bool keepFirst_;
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

FileCache<BaselinePicture>& Baselines() {
  static FileCache<BaselinePicture> cache(false);
  return cache;
}

FileCache<std::vector<std::string>>& LinesFiles() {
  static FileCache<std::vector<std::string>> cache(true);
  return cache;
}

BaselineWrite TakeWrite(const ScenarioStep& step, std::string_view seen, bool exists, bool changed) {
  BaselineWrite w;
  w.path = step.path;
  w.line = step.line;
  w.step = step.text;
  w.seen = ContentDigest(seen);
  w.exists = exists;
  w.changed = changed;
  return w;
}

}  // namespace

ScenarioPlayer::ScenarioPlayer(const Scenario& scenario, ScenarioTarget& target, ScenarioOptions options)
    : scenario_(scenario), target_(target), options_(options) {
  for (std::size_t i = 0; i < scenario_.steps.size(); ++i) {
    if (scenario_.steps[i].kind == ScenarioStep::Kind::kExpectLines) {
      anyLinesCheck_ = true;
      lastLinesCheck_ = i;
    }
  }
}

void ScenarioPlayer::CollectLines() {
  std::vector<std::string> taken = target_.TakeLines();
  if (!anyLinesCheck_ || next_ > lastLinesCheck_ || linesOverflow_) return;
  for (std::string& l : taken) {
    if (lines_.size() >= kScenarioMaxLines) {
      linesOverflow_ = true;
      lines_.clear();
      return;
    }
    lines_.push_back(std::move(l));
  }
}

StepResult ScenarioPlayer::Result(const ScenarioStep& step) const {
  StepResult r;
  r.line = step.line;
  r.step = step.text;
  r.path = step.path;
  return r;
}

StepResult ScenarioPlayer::Begin() {
  CollectLines();
  StepResult r;
  std::vector<std::string> messages = target_.TakeMessages();
  if (!messages.empty()) {
    r.status = StepResult::Status::kFailed;
    r.message = "run message: " + Cp932ToUtf8(messages.front());
  }
  return r;
}

int ScenarioPlayer::NextDelayMs() const {
  if (AtEnd()) return 0;
  const ScenarioStep& s = Next();
  if (s.kind != ScenarioStep::Kind::kTick) return 0;
  return s.value < 0 ? kScenarioTickMs : s.value * 10;
}

StepResult ScenarioPlayer::Step() {
  const ScenarioStep& step = scenario_.steps[next_];
  StepResult result = Result(step);
  Simulator& model = target_.Model();
  using Kind = ScenarioStep::Kind;
  bool check = false;
  switch (step.kind) {
    case Kind::kEvent:
      model.RaiseEvent(step.label);
      break;
    case Kind::kKey:
      model.ReadInputs();
      model.RaiseEvent(step.label);
      break;
    case Kind::kTick: {
      nowMs_ += static_cast<std::uint64_t>(NextDelayMs());
      model.Timer1Timer(nowMs_);
      // The sensor panel's event comes one period after the click.
      if (!pendingSwitchEvent_.empty()) {
        std::string event = std::move(pendingSwitchEvent_);
        pendingSwitchEvent_.clear();
        model.RaiseEvent(event);
      }
      if (onTick) onTick(nowMs_);
      result.stepDone = ++ticksDone_ >= step.count;
      break;
    }
    case Kind::kSlider:
      target_.MoveSlider(static_cast<Slider>(step.index), step.value);
      break;
    case Kind::kSwitch:
      target_.SetBox(step.index, step.value != 0);
      pendingSwitchEvent_ = "chg" + std::string(kSwitches[step.index].caption);
      break;
    case Kind::kBox:
      target_.SetBox(step.index, step.value != 0);
      break;
    case Kind::kSet:
      target_.SetCell(step.index, static_cast<std::int16_t>(step.value));
      break;
    case Kind::kTimer:
      target_.SetTimerBox(step.value != 0);
      break;
    case Kind::kIgnore:
      if (step.rect.w == 0) {
        ignored_.clear();
      } else {
        ignored_.push_back(step.rect);
      }
      break;
    case Kind::kExpectScreen:
    case Kind::kExpectPage:
    case Kind::kExpectLines:
      check = true;
      break;
  }
  if (result.stepDone) {
    ticksDone_ = 0;
  }
  CollectLines();
  std::vector<std::string> messages = target_.TakeMessages();
  if (!messages.empty()) {
    result.status = StepResult::Status::kFailed;
    result.message = "run message: " + Cp932ToUtf8(messages.front());
  } else if (check) {
    // The check names its step: of consecutive `expect line` steps, the
    // one that differs.
    result = Check(step);
  }
  if (result.stepDone) ++next_;
  return result;
}

StepResult ScenarioPlayer::Check(const ScenarioStep& step) {
  try {
    switch (step.kind) {
      case ScenarioStep::Kind::kExpectScreen:
        return CheckPicture(step, target_.Screen().DisplayPageBytes(), "screen");
      case ScenarioStep::Kind::kExpectPage:
        return CheckPicture(step, target_.Screen().Page(step.index), "page " + std::to_string(step.index));
      default:
        return CheckLines(step);
    }
  } catch (const std::exception& e) {
    StepResult r = Result(step);
    r.status = StepResult::Status::kError;
    r.message = e.what();
    return r;
  }
}

StepResult ScenarioPlayer::CheckPicture(const ScenarioStep& step, const std::uint8_t* page, const std::string& what) {
  StepResult r = Result(step);
  const std::string name = std::filesystem::path(step.path).filename().string();
  // What the check saw, its ignored pixels left out, so that checks that
  // differ only there agree.
  auto pageBytes = [&] {
    std::string seen(reinterpret_cast<const char*>(page), kPageBytes);
    const std::vector<std::uint8_t> mask = IgnoredMask(ignored_);
    for (std::size_t i = 0; i < mask.size(); ++i)
      if (mask[i]) seen[i] = 0;
    return seen;
  };
  if (!FileExists(step.path)) {
    if (options_.update) {
      r.haveWrite = true;
      r.write = TakeWrite(step, pageBytes(), false, true);
      r.write.bytes = EncodePagePng(page);
      return r;
    }
    r.status = StepResult::Status::kFailed;
    r.message = "no baseline " + step.path + "; `qmt test --update` creates it";
    r.pictures = true;
    r.actual.assign(page, page + kPageBytes);
    return r;
  }
  std::string error;
  std::shared_ptr<const BaselinePicture> baseline = Baselines().Get(step.path, [&](bool keep) {
    // Not kept: decoded into this thread's picture, which stays in use
    // until the check is done.
    thread_local BaselinePicture scratch;
    std::shared_ptr<BaselinePicture> picture =
        keep ? std::make_shared<BaselinePicture>() : std::shared_ptr<BaselinePicture>(std::shared_ptr<void>(), &scratch);
    if (!DecodeBaseline(ReadFile(step.path), *picture, error)) picture.reset();
    return std::shared_ptr<const BaselinePicture>(picture);
  });
  if (!baseline) {
    // An update replaces what cannot be read (an empty or cut-short file),
    // saying what it was.
    if (options_.update) {
      std::error_code ec;
      const auto size = std::filesystem::file_size(step.path, ec);
      r.haveWrite = true;
      r.write = TakeWrite(step, pageBytes(), true, true);
      r.write.bytes = EncodePagePng(page);
      r.write.change = "replaced " + (!ec && size == 0 ? std::string("an empty file")
                                                       : "a file that is not a PNG picture that can be read (" + error + ")");
      return r;
    }
    r.status = StepResult::Status::kError;
    r.message = step.path + ": not a PNG picture that can be read (" + error + ")";
    return r;
  }
  PageDifference d = ComparePage(page, *baseline, ignored_);
  if (options_.update) {
    r.haveWrite = true;
    r.write = TakeWrite(step, pageBytes(), true, d.pixels != 0);
    if (d.pixels != 0) {
      r.write.bytes = EncodePagePng(page);
      r.write.change = d.sizeDiffers ? "was " + std::to_string(baseline->Width()) + " x " + std::to_string(baseline->Height())
                                     : GroupedNumber(d.pixels) + (d.pixels == 1 ? " pixel" : " pixels") + " changed";
    }
    return r;
  }
  if (d.pixels == 0) return r;
  r.status = StepResult::Status::kFailed;
  if (d.sizeDiffers) {
    r.message = what + " differs: the baseline " + name + " is " + std::to_string(baseline->Width()) + " x " +
                std::to_string(baseline->Height()) + ", not 640 x 480";
  } else {
    r.message = what + " differs in " + GroupedNumber(d.pixels) + (d.pixels == 1 ? " pixel" : " pixels") +
                ", first at (" + std::to_string(d.firstX) + ", " + std::to_string(d.firstY) + ")";
    if (d.ignored > 0) r.message += "; " + GroupedNumber(d.ignored) + " pixels ignored";
  }
  r.pictures = true;
  r.actual.assign(page, page + kPageBytes);
  r.haveBaseline = true;
  r.baseline = baseline->Rgb();
  r.ignored = ignored_;
  return r;
}

StepResult ScenarioPlayer::CheckLines(const ScenarioStep& step) {
  StepResult r = Result(step);
  std::vector<std::string> actual;
  actual.reserve(lines_.size());
  for (const std::string& l : lines_) actual.push_back(EscapeForDisplay(l));
  lines_.clear();
  if (linesOverflow_) {
    linesOverflow_ = false;
    r.status = StepResult::Status::kFailed;
    r.message = "more than " + GroupedNumber(static_cast<long long>(kScenarioMaxLines)) +
                " command lines since the previous lines check";
    return r;
  }
  std::vector<std::string> expected;
  if (step.inlineLines) {
    expected = step.lines;
  } else if (!FileExists(step.path)) {
    if (options_.update) {
      r.haveWrite = true;
      r.write = TakeWrite(step, LinesFileText(actual), false, true);
      r.write.bytes = LinesFileText(actual);
      return r;
    }
    r.status = StepResult::Status::kFailed;
    r.message = "no lines file " + step.path + "; `qmt test --update` creates it";
    r.lines = true;
    r.actualLines = std::move(actual);
    return r;
  } else {
    try {
      expected = *LinesFiles().Get(step.path, [&](bool) {
        return std::make_shared<const std::vector<std::string>>(ReadLinesFile(step.path));
      });
    } catch (const EncodingError& e) {
      // An update replaces a lines file that is not UTF-8 text.
      if (!options_.update) throw;
      const std::string text = LinesFileText(actual);
      r.haveWrite = true;
      r.write = TakeWrite(step, text, true, true);
      r.write.bytes = text;
      r.write.change = std::string("replaced a file that is not a lines file (") + e.what() + ")";
      return r;
    }
  }
  if (options_.update && !step.inlineLines) {
    const std::string text = LinesFileText(actual);
    r.haveWrite = true;
    r.write = TakeWrite(step, text, true, expected != actual);
    if (expected != actual) {
      r.write.bytes = text;
      const long changed = ChangedLines(expected, actual);
      r.write.change = GroupedNumber(changed) + (changed == 1 ? " line" : " lines") + " changed, " +
                       GroupedNumber(static_cast<long long>(actual.size())) + " in all";
    }
    return r;
  }
  if (expected == actual) return r;
  r.status = StepResult::Status::kFailed;
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  // Consecutive `expect line` steps are one check: a failure names the one
  // that differs.
  if (step.inlineLines && i < expected.size()) {
    r.line = step.line + static_cast<int>(i);
    r.step = "expect line " + Cp932ToUtf8(expected[i]);
  }
  const std::string nth = "command " + GroupedNumber(static_cast<long long>(i) + 1) + " since the previous lines check";
  if (i < expected.size() && i < actual.size()) {
    r.message = nth + " is " + Cp932ToUtf8(actual[i]) + ", expected " + Cp932ToUtf8(expected[i]);
  } else if (i < expected.size()) {
    r.message = GroupedNumber(static_cast<long long>(actual.size())) + " commands sent, expected " +
                GroupedNumber(static_cast<long long>(expected.size())) + "; the first missing is " +
                Cp932ToUtf8(expected[i]);
  } else {
    r.message = GroupedNumber(static_cast<long long>(actual.size())) + " commands sent, expected " +
                GroupedNumber(static_cast<long long>(expected.size())) + "; the first extra is " +
                Cp932ToUtf8(actual[i]);
  }
  r.lines = true;
  r.actualLines = std::move(actual);
  r.expectedLines = std::move(expected);
  return r;
}

}  // namespace qmt
