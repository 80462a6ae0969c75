#include "runtime/runner.h"

#include <climits>

#include <algorithm>
#include <cstring>

#include "compiler/pcode.h"
#include "device/qmt3308.h"
#include "support/encoding.h"
#include "support/name_case.h"

namespace qmt {
namespace {

struct TraceSettings {
  bool enabled = false;
  std::FILE* stream = nullptr;  // null: standard output
  std::function<void(std::string_view)> writer;
};

TraceSettings& Trace() {
  static TraceSettings settings;
  return settings;
}

std::string StopMessage(std::uint16_t pc, const std::string& name) {
  char head[16];
  std::snprintf(head, sizeof head, "pc=%3d:", pc);
  return head + name;
}

}  // namespace

void SetTraceEnabled(bool on) { Trace().enabled = on; }
bool TraceEnabled() { return Trace().enabled; }
void SetTraceOutput(std::FILE* stream) { Trace().stream = stream; }
void SetTraceWriter(std::function<void(std::string_view line)> writer) { Trace().writer = std::move(writer); }

TRunner::TRunner()
    : code_(std::make_unique<TCodeArea>()),
      dispatch_(std::make_unique<TDispatchMap>()),
      loaded_(std::make_unique<TCodeArea>()),
      loadedDispatch_(std::make_unique<TDispatchMap>()) {
  code_->fill(0);
  // An empty program: CodeStart 4, and the end of code right there.
  (*code_)[0] = 4;
  context_.owner = this;
  context_.sink = &TRunner::SinkLine;
  InitContext(context_, *code_, externals.data());
}

TQMT3308& TRunner::GetDevice() const { return device_ ? *device_ : Device(); }

bool TRunner::LoadImage(std::span<const std::uint8_t> image) {
  Abort();
  if (image.size() > kCodeAreaSize) {
    Message(Sjis("P-codeが大きすぎる:") + std::to_string(image.size()) + Sjis("バイト"));
    return false;
  }
  // Clearing the rest makes a jump beyond the image land on end of code
  // instead of on what an earlier image left there.
  std::copy(image.begin(), image.end(), code_->begin());
  std::fill(code_->begin() + static_cast<std::ptrdiff_t>(image.size()), code_->end(), 0);
  context_.owner = this;
  context_.sink = &TRunner::SinkLine;
  context_.externals = externals.data();
  InitContext(context_, *code_, externals.data());
  BuildDispatchMap(*code_, image.size(), *dispatch_);
  *loaded_ = *code_;
  *loadedDispatch_ = *dispatch_;
  context_.machine.dispatch = dispatch_->data();
  if (hook_) hook_->ImageLoaded();
  if (traced_ && TraceEnabled()) TraceStep();
  return true;
}

void TRunner::CodeChanged() {
  // Before the first image the loop dispatches on the opcodes alone.
  if (context_.machine.dispatch == nullptr) return;
  PatchDispatchMap(*loaded_, *loadedDispatch_, *code_, *dispatch_);
}

bool TRunner::FindLabel(std::string_view label, std::uint16_t& address) const {
  for (const std::string& entry : labels) {
    const std::size_t eq = entry.rfind('=');
    if (eq == std::string::npos) continue;
    if (!SameName(std::string_view(entry).substr(0, eq), label)) continue;
    address = static_cast<std::uint16_t>(std::atoi(entry.c_str() + eq + 1));
    return true;
  }
  return false;
}

bool TRunner::HasLabel(std::string_view label) const {
  std::uint16_t address;
  return FindLabel(label, address);
}

TRunEnd TRunner::RunFrom() { return Run(); }

TRunEnd TRunner::RunFrom(std::string_view label) {
  std::uint16_t address;
  if (!FindLabel(label, address)) {
    Message(Sjis("未定義ラベル:") + std::string(label));
    return TRunEnd::kUnknownLabel;
  }
  context_.machine.stopped = 0;
  context_.machine.PC = address;
  return Run();
}

TRunEnd TRunner::Run() {
  if (paused_) Abort();
  TMachine& m = context_.machine;
  context_.errorCode = 0;
  m.stopped = 0;
  running_ = true;
  linesThisRun_ = 0;
  messagesThisRun_ = 0;
  heldBack_ = 0;
  firstHeldBack_.clear();
  // The budget counts the instructions after the first: a run may execute
  // one more than the budget before it is stopped.
  // A long may have no more bits than an int (WebAssembly): the largest
  // budget runs one instruction fewer there rather than none at all.
  stepsLeft_ = std::min<long>(std::max(stepBudget, 0), LONG_MAX - 1) + 1L;
  if (hook_) hook_->RunStarted();
  return Execute();
}

TRunEnd TRunner::Resume() {
  if (!paused_) return TRunEnd::kStopped;
  paused_ = false;
  return Execute();
}

TRunEnd TRunner::Execute() {
  struct EndOfRun {
    TRunner& runner;
    ~EndOfRun() {
      if (!runner.paused_) runner.running_ = false;
    }
  } endOfRun{*this};
  TMachine& m = context_.machine;
  if (hook_) {
    stepsLeft_ -= hook_->Execute(context_, stepsLeft_, paused_);
    if (paused_) return TRunEnd::kPaused;
  } else if (traced_ && TraceEnabled()) {
    for (; stepsLeft_ > 0; --stepsLeft_) {
      if (Step(context_)) break;
      TraceStep();
      if (context_.errorCode != 0 || m.stopped) break;
    }
  } else {
    stepsLeft_ -= StepMany(context_, stepsLeft_);
  }
  if (heldBack_ > 0) {
    Message(SummaryMessage(heldBack_, firstHeldBack_), true);
    heldBack_ = 0;
    firstHeldBack_.clear();
  }
  TRunEnd end = TRunEnd::kStopped;
  if (context_.errorCode != 0) {
    Message(StopMessage(m.PC, ErrorName(context_.errorCode)), true);
    end = TRunEnd::kError;
  } else if (!m.stopped) {
    static const std::string loop = Sjis("無限ループ");
    Message(StopMessage(m.PC, loop), true);
    end = TRunEnd::kBudget;
  }
  if (end != TRunEnd::kStopped) EndRun();
  if (hook_) hook_->RunEnded(end);
  return end;
}

// A run cut short may leave frames open; the next event starts from an
// empty stack rather than returning into them.
void TRunner::EndRun() {
  TMachine& m = context_.machine;
  m.SP = m.FP = m.AC = m.RSP = 0;
}

void TRunner::Abort() {
  if (!paused_) return;
  paused_ = false;
  running_ = false;
  context_.machine.stopped = 1;
  EndRun();
  if (hook_) hook_->RunEnded(TRunEnd::kError);
}

void TRunner::SinkLine(void* owner, int length, const char* bytes) {
  if (bytes == nullptr) return;
  const std::string_view line = length >= 1 ? std::string_view(bytes, static_cast<std::size_t>(length))
                                            : std::string_view(bytes);
  if (line.empty()) return;
  auto* runner = static_cast<TRunner*>(owner);
  if (runner->running_) {
    // A run being stopped for its lines sends no more of them.
    if (!TakesLines(owner)) return;
    std::uint16_t& error = runner->context_.errorCode;
    if (++runner->linesThisRun_ > runner->lineBudget) {
      if (error == 0) error = kErrTooManyLines;
      return;
    }
  }
  if (runner->sink) {
    runner->sink(line);
  } else {
    runner->SinkLine(line);
  }
}

bool TRunner::TakesLines(void* owner) {
  const auto* runner = static_cast<const TRunner*>(owner);
  return !runner->running_ || runner->context_.errorCode != kErrTooManyLines;
}

void TRunner::SinkLine(std::string_view line) {
  TQMT3308& device = GetDevice();
  if (!device.ExecuteLine(line)) {
    Message(device.LastError());
    return;
  }
  if (onLine) onLine(line);
}

void TRunner::Message(const std::string& text, bool always) {
  if (running_ && !always && ++messagesThisRun_ > messageBudget) {
    if (heldBack_++ == 0) firstHeldBack_ = text;
    return;
  }
  if (onMessage) onMessage(text);
}

std::string SummaryMessage(int count, const std::string& first) {
  return Sjis("ほかにメッセージ") + std::to_string(count) + Sjis("件(最初: ") + first + ")";
}

std::string TraceText(const TRuntimeContext& context) {
  const TMachine& m = context.machine;
  char buffer[128];
  std::string text;
  std::snprintf(buffer, sizeof buffer, "%5d%3d %2d ", m.PC, m.SP, m.RSP);
  text += buffer;
  int p = m.PC;
  const std::string instruction =
      InstructionText(std::span<const std::uint8_t>(m.code, kCodeAreaSize), 65535, p);
  std::snprintf(buffer, sizeof buffer, "%-40.40s", instruction.c_str());
  text += buffer;
  if (m.SP > 0) {
    const int above = m.SP < kOperandStackSize ? m.S[m.SP] : 0;
    std::snprintf(buffer, sizeof buffer, "(%2d:%3d %3d)", m.SP, m.S[m.SP - 1], above);
    text += buffer;
  }
  return text;
}

void TRunner::TraceStep() {
  const std::string text = TraceText(context_);
  TraceSettings& trace = Trace();
  if (trace.writer) {
    trace.writer(text);
    return;
  }
  std::FILE* stream = trace.stream ? trace.stream : stdout;
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
}

}  // namespace qmt
