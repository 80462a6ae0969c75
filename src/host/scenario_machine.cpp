#include "host/scenario_machine.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/qmt3308.h"
#include "host/page_animation.h"
#include "host/page_pictures.h"
#include "host/simulator_binding.h"
#include "runtime/builtins.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/prefault.h"

namespace qmt {
bool CompiledMacroSource::HasLabel(std::string_view label) const { return runner_.HasLabel(label); }

void ScenarioTap::SetHandlers(Handler message, Handler line) {
  inner_.SetHandlers(
      [this, message](const std::string& m) {
        if (taping_) messages_.push_back(m);
        if (message) message(m);
      },
      [this, line](const std::string& l) {
        if (taping_) lines_.push_back(l);
        if (line) line(l);
      });
}

void ScenarioTap::SetTaping(bool on) {
  taping_ = on;
  lines_.clear();
  messages_.clear();
}

std::vector<std::string> ScenarioTap::TakeLines() {
  std::vector<std::string> lines;
  lines.swap(lines_);
  return lines;
}

std::vector<std::string> ScenarioTap::TakeMessages() {
  std::vector<std::string> messages;
  messages.swap(messages_);
  return messages;
}

// Pages as the start left them, kept row by row: a row of one colour as
// that byte, any other as a copy.  Most of the store and many rows of the
// pages are one colour, and memory not taken costs nothing to fill.
class KeptPages {
 public:
  static constexpr std::size_t kBlock = kPageWidth;

  void Keep(const std::uint8_t* bytes, std::size_t size) {
    blocks_.clear();
    std::size_t copied = 0;
    for (std::size_t at = 0; at < size; at += kBlock) {
      const std::size_t n = std::min(kBlock, size - at);
      const std::uint8_t* b = bytes + at;
      // One colour: every byte equals the one after it.
      if (std::memcmp(b, b + 1, n - 1) == 0) {
        blocks_.push_back({b[0], kUniform});
      } else {
        blocks_.push_back({0, copied});
        copied += n;
      }
    }
    // Not cleared first: every byte is copied over.
    copies_.reset(new std::uint8_t[copied]);
    PrefaultPages(copies_.get(), copied);
    std::size_t at = 0;
    for (const Block& k : blocks_) {
      const std::size_t n = std::min(kBlock, size - at);
      if (k.copy != kUniform) std::memcpy(copies_.get() + k.copy, bytes + at, n);
      at += n;
    }
    size_ = size;
  }

  void Restore(std::uint8_t* bytes) const {
    std::size_t at = 0;
    for (const Block& k : blocks_) {
      const std::size_t n = std::min(kBlock, size_ - at);
      if (k.copy == kUniform)
        std::memset(bytes + at, k.value, n);
      else
        std::memcpy(bytes + at, copies_.get() + k.copy, n);
      at += n;
    }
  }

 private:
  static constexpr std::size_t kUniform = static_cast<std::size_t>(-1);
  struct Block {
    std::uint8_t value;
    std::size_t copy;  // where in copies_, or kUniform
  };
  std::vector<Block> blocks_;
  std::unique_ptr<std::uint8_t[]> copies_;
  std::size_t size_ = 0;
};

// What the macro's start left, for StartAgain.
struct StartState {
  KeptPages pages, store;
  DrawingState drawing;
  decltype(TRunner::externals) externals{};
  TMachine machine;
  TRuntimeState builtins;
  std::vector<std::string> lines, messages;
};

struct ScenarioMachine::Parts {
  Parts(const CompiledMacro& macro, SimMessages* messages, SimLink* link)
      : port(runner), tap(port), source(macro, runner), model({&tap, &source, messages, link, nullptr}) {
    runner.SetDevice(&device);
    // A scenario runs apart from the window's trace, on any thread.
    runner.SetTraced(false);
    runner.Context().state = state.get();
    tap.SetTaping(true);
  }
  TQMT3308 device;
  std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
  TRunner runner;
  RunnerPort port;
  ScenarioTap tap;
  CompiledMacroSource source;
  Simulator model;
  std::unique_ptr<StartState> start;
};

ScenarioMachine::ScenarioMachine(const CompiledMacro& macro, SimMessages* messages, SimLink* link)
    : parts_(std::make_unique<Parts>(macro, messages, link)) {}
ScenarioMachine::~ScenarioMachine() = default;

void ScenarioMachine::Start() { parts_->model.StartMacro(); }

void ScenarioMachine::StartAgain(bool lines) {
  Parts& p = *parts_;
  if (!p.start) {
    Start();
    auto s = std::make_unique<StartState>();
    // The four pages (and the four store pages) lie one after the other.
    s->pages.Keep(p.device.Page(0), 4 * static_cast<std::size_t>(kPageBytes));
    s->store.Keep(p.device.StorePage(0), 4 * static_cast<std::size_t>(kPageBytes));
    s->drawing = p.device.MutableState();
    static_assert(sizeof(s->externals) == sizeof(p.runner.externals));
    std::memcpy(s->externals.data(), p.runner.externals.data(), sizeof(s->externals));
    s->machine = p.runner.Context().machine;
    s->builtins = *p.state;
    s->lines = p.tap.Lines();
    s->messages = p.tap.Messages();
    p.start = std::move(s);
    return;
  }
  const StartState& s = *p.start;
  // The inputs at rest, as a fresh program has them; then the cells, which
  // moving them wrote, as the start left them.
  for (int i = 0; i < kSliderCount; ++i) p.model.SetSlider(static_cast<Slider>(i), 0);
  for (int i = 0; i < kSwitchCount; ++i) p.model.SetSwitch(i, false);
  p.model.SetTimerEnabled(true);
  p.model.ResetTimerCounts();
  s.pages.Restore(p.device.Page(0));
  s.store.Restore(p.device.StorePage(0));
  p.device.MutableState() = s.drawing;
  p.device.NotifyPageChanged(p.device.DisplayPage());
  std::memcpy(p.runner.externals.data(), s.externals.data(), sizeof(s.externals));
  p.runner.Context().machine = s.machine;
  *p.state = s.builtins;
  p.tap.SetTaping(true);
  p.tap.Retape(lines ? s.lines : std::vector<std::string>{}, s.messages);
}
Simulator& ScenarioMachine::Model() { return parts_->model; }
const TQMT3308& ScenarioMachine::Screen() const { return parts_->device; }
TQMT3308& ScenarioMachine::Device() { return parts_->device; }
TRunner& ScenarioMachine::Runner() { return parts_->runner; }
void ScenarioMachine::SetCell(int id, std::int16_t value) { parts_->runner.externals[static_cast<std::size_t>(id)] = value; }

std::vector<std::string> ScenarioMachine::TakeLines() { return parts_->tap.TakeLines(); }
std::vector<std::string> ScenarioMachine::TakeMessages() { return parts_->tap.TakeMessages(); }

namespace {

ScenarioReport Play(ScenarioMachine& machine, const Scenario& scenario, const ScenarioOptions& options,
                    PageAnimation* animation);

// The machine this thread keeps for a macro, with a copy of the macro it
// runs.
struct KeptMachine {
  CompiledMacro macro;
  std::unique_ptr<ScenarioMachine> machine;
};

}  // namespace

ScenarioReport RunScenario(const Scenario& scenario, const CompiledMacro& macro, const ScenarioOptions& options,
                           PageAnimation* animation) {
  if (animation) {
    ScenarioMachine machine(macro);
    return RunScenarioOn(machine, scenario, options, animation);
  }
  thread_local KeptMachine kept;
  if (!kept.machine || kept.macro.image != macro.image || kept.macro.labels != macro.labels) {
    kept.machine.reset();
    kept.macro = macro;
    kept.machine = std::make_unique<ScenarioMachine>(kept.macro);
  }
  const bool lines = std::any_of(scenario.steps.begin(), scenario.steps.end(), [](const ScenarioStep& s) {
    return s.kind == ScenarioStep::Kind::kExpectLines;
  });
  kept.machine->StartAgain(lines);
  return Play(*kept.machine, scenario, options, nullptr);
}

ScenarioReport RunScenarioOn(ScenarioMachine& machine, const Scenario& scenario, const ScenarioOptions& options,
                             PageAnimation* animation) {
  machine.Start();
  return Play(machine, scenario, options, animation);
}

namespace {

ScenarioReport Play(ScenarioMachine& machine, const Scenario& scenario, const ScenarioOptions& options,
                    PageAnimation* animation) {
  ScenarioReport report;
  // The labels are the started macro's.
  bool checks = false;
  // A screen check whose ignored rectangles cover the whole page compares
  // nothing: it passes whatever the page shows.
  std::vector<PageRect> ignored;
  bool wholePage = false;
  for (const ScenarioStep& step : scenario.steps) {
    using Kind = ScenarioStep::Kind;
    if (step.kind == Kind::kIgnore) {
      if (step.rect.w == 0) {
        ignored.clear();
      } else {
        ignored.push_back(step.rect);
      }
      const std::vector<std::uint8_t> mask = IgnoredMask(ignored);
      wholePage = !mask.empty() && std::count(mask.begin(), mask.end(), std::uint8_t{1}) == kPageBytes;
    }
    if ((step.kind == Kind::kExpectScreen || step.kind == Kind::kExpectPage) && wholePage) {
      report.warnings.push_back("line " + std::to_string(step.line) +
                                ": the ignored rectangles cover the whole page; the check compares nothing");
      continue;
    }
    checks |= step.kind == Kind::kExpectScreen || step.kind == Kind::kExpectPage || step.kind == Kind::kExpectLines;
    if (step.kind == Kind::kEvent && !machine.Runner().HasLabel(step.label))
      report.warnings.push_back("line " + std::to_string(step.line) + ": the macro has no label " +
                                MessageText(Cp932ToUtf8(step.label)) + "; the event runs nothing");
  }
  if (!checks) report.warnings.push_back("the scenario checks nothing");

  ScenarioPlayer player(scenario, machine, options);
  if (animation) {
    animation->Start(machine.Screen().DisplayPageBytes(), 0);
    player.onTick = [&](std::uint64_t ms) { animation->Add(machine.Screen().DisplayPageBytes(), ms); };
  }
  StepResult r = player.Begin();
  while (r.status == StepResult::Status::kOk && !player.AtEnd()) {
    if (options.stop && options.stop->load(std::memory_order_relaxed)) {
      r.status = StepResult::Status::kError;
      r.line = player.Next().line;
      r.step = player.Next().text;
      r.message = "stopped";
      break;
    }
    r = player.Step();
    if (r.stepDone && r.status == StepResult::Status::kOk && r.haveWrite) report.writes.push_back(std::move(r.write));
  }
  if (animation) {
    animation->Add(machine.Screen().DisplayPageBytes(), player.NowMs());
    animation->End(player.NowMs());
  }
  report.simulatedMs = player.NowMs();
  report.ticks = machine.Model().TickCount();
  if (r.status != StepResult::Status::kOk) {
    report.status = r.status == StepResult::Status::kError ? ScenarioReport::Status::kError
                                                           : ScenarioReport::Status::kFailed;
    report.failure = std::move(r);
  }
  return report;
}

}  // namespace

std::string FailureText(const StepResult& failure) {
  std::string where = failure.line == 0 ? "start-up run"
                                        : "line " + std::to_string(failure.line) + " (" + MessageText(failure.step) + ")";
  return where + ": " + MessageText(failure.message, 1000);
}

}  // namespace qmt
