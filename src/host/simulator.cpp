#include "host/simulator.h"

#include <algorithm>
#include <cctype>

#include "device/bmp.h"
#include "host/macro_compile.h"
#include "host/picture_drop.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt {

const std::array<SliderInfo, kSliderCount> kSliders = {{
    {"TrackROT", "rot", "回転計", 2, 100, kGaugeRot, 7},
    {"TrackLEVEL", "level", "水位計", 5, 100, kGaugeLevel, 4},
    {"TrackPRES", "pres", "圧力計", 5, 100, kGaugePres, 5},
    {"TrackGANG", "gang", "連成計", 5, 100, kGaugeGang, 6},
    {"TrackFLOW", "flow", "流量計", 5, 100, kGaugeFlow, 8},
    // The throttle shares the flow slider's handler and fills no cell: the
    // cell anThrottle stays as the macro leaves it.
    {"TrackThrottle", "throttle", "throttle", 5, 100, kGaugeFlow, -1},
}};

const std::array<KeyInfo, 11> kKeys = {{
    {"swRUN", "作動", "onRUN", false},
    {"swSTOP", "停止", "onSTOP", true},
    {"swEMG", "非常", "onEMG", true},
    {"swUSE", "通常", "A", false},
    {"swDOC", "取扱", "B", false},
    {"swROT", "回転", "onROT", false},
    {"swFLOW", "流量", "onFLOW", false},
    {"swGANG", "連成", "onGANG", false},
    {"swPRES", "圧力", "onPRES", false},
    {"swUP", "UP", "onUP", false},
    {"swDOWN", "DOWN", "onDOWN", true},
}};

const std::array<SwitchInfo, kSwitchCount> kSwitches = {{
    {"swPTO", "PTO", 14},
    {"swSFT1", "SFT1", 25},
    {"swSFT2", "SFT2", 26},
    {"swSFT3", "SFT3", 27},
    {"SCW1", "SCW1", -1},
    {"SwSBOutl", "SBOutl", 23},
    {"SwSLOut1", "SLOut1", 21},
    {"SwSLOut2", "SLOut2", 22},
    {"SwSROut1", "SROut1", 19},
    {"SwSROut2", "SROut2", 20},
    {"swSLJoin", "SLJoin", 18},
    {"swSRJoin", "SRJoin", 17},
    {"swSLSuct", "SLSuct", 16},
    {"swSRSuct", "SRSuct", 15},
    {"SwSTank", "STank", 24},
}};

namespace {

const std::string& CaptionRealDevice() {
  static const std::string s = Sjis("実機テスト");
  return s;
}
const std::string& CaptionNotConnected() {
  static const std::string s = Sjis("未接続");
  return s;
}
const std::string& TimerLabel() {
  static const std::string s = Sjis("時間割込");
  return s;
}

// The gauge served by each tick, in TickCount mod 5 order.
struct GaugeTurn {
  std::uint8_t bit;
  std::string label;
};
const std::array<GaugeTurn, 5>& GaugeTurns() {
  static const std::array<GaugeTurn, 5> turns = {{
      {kGaugeLevel, Sjis("水位計")},
      {kGaugePres, Sjis("圧力計")},
      {kGaugeGang, Sjis("連成計")},
      {kGaugeFlow, Sjis("流量計")},
      {kGaugeRot, Sjis("回転計")},
  }};
  return turns;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string LowerExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

std::vector<EventLabelInfo> EventLabels() {
  std::vector<EventLabelInfo> out;
  for (const KeyInfo& k : kKeys)
    out.push_back({Sjis(k.label), std::string("key ") + k.caption + " (" + k.control + ")"});
  for (const SwitchInfo& s : kSwitches)
    out.push_back({Sjis(std::string("chg") + s.caption), std::string("switch ") + s.caption + " (" + s.control + ")"});
  for (const GaugeTurn& turn : GaugeTurns()) {
    std::string sliders;
    for (const SliderInfo& slider : kSliders)
      if (slider.gaugeBit == turn.bit) sliders += std::string(sliders.empty() ? "" : ", ") + slider.control;
    out.push_back({turn.label, "slider " + sliders + ", on the next timer tick"});
  }
  out.push_back({TimerLabel(), "the 33 ms timer"});
  return out;
}

Simulator::Simulator(Ports ports) : ports_(ports), checkRunCaption_(CaptionRealDevice()) {}

std::optional<Slider> Simulator::SliderByName(std::string_view name) {
  for (int i = 0; i < kSliderCount; ++i)
    if (EqualsIgnoringCase(name, kSliders[i].name)) return static_cast<Slider>(i);
  return std::nullopt;
}

std::string Simulator::SliderNames() {
  std::string names;
  for (const SliderInfo& s : kSliders) names += (names.empty() ? "" : ", ") + std::string(s.name);
  return names;
}

std::string Simulator::SwitchNames() {
  std::string names;
  for (const SwitchInfo& s : kSwitches) names += (names.empty() ? "" : ", ") + std::string(s.caption);
  return names;
}

int Simulator::SwitchByCaption(std::string_view caption) {
  for (int i = 0; i < kSwitchCount; ++i)
    if (EqualsIgnoringCase(caption, kSwitches[i].caption)) return i;
  return -1;
}

void Simulator::SetSlider(Slider slider, int position) {
  int i = static_cast<int>(slider);
  if (Held()) {
    std::erase_if(waiting_, [i](const WaitingInput& w) { return w.kind == WaitingInput::Kind::kSlider && w.index == i; });
    waiting_.push_back({WaitingInput::Kind::kSlider, {}, i, position});
    return;
  }
  sliders_[i] = std::clamp(position, 0, 1000);
  gaugeDirty_ |= kSliders[i].gaugeBit;
  ReadInputs();
}

void Simulator::SetSwitch(int index, bool on) {
  if (index < 0 || index >= kSwitchCount) return;
  if (Held()) {
    waiting_.push_back({WaitingInput::Kind::kSwitch, {}, index, on ? 1 : 0});
    return;
  }
  switches_[index] = on;
}

void Simulator::ReadInputs() {
  SimRunner& runner = *ports_.runner;
  for (int i = 0; i < kSliderCount; ++i)
    if (kSliders[i].extId >= 0) runner.SetExt(kSliders[i].extId, static_cast<std::int16_t>(sliders_[i]));
  for (int i = 0; i < kSwitchCount; ++i)
    if (kSwitches[i].extId >= 0) runner.SetExt(kSwitches[i].extId, switches_[i] ? 1 : 0);
}

void Simulator::RaiseEvent(std::string_view label) {
  SimMacroSource& macro = *ports_.macro;
  if (!macro.MacroReady()) return;
  if (macro.HasErrors()) {
    macro.ClearMacroReady();
    macro.ShowErrorPage();
    return;
  }
  if (!macro.HasLabel(label)) return;
  if (Held()) {
    waiting_.push_back({WaitingInput::Kind::kEvent, std::string(label)});
    return;
  }
  ports_.runner->RunFrom(label);
}

bool Simulator::RunWaitingInputs() {
  while (!waiting_.empty() && !Held()) {
    WaitingInput input = std::move(waiting_.front());
    waiting_.pop_front();
    switch (input.kind) {
      case WaitingInput::Kind::kEvent:
        ports_.runner->RunFrom(input.label);
        break;
      case WaitingInput::Kind::kSlider:
        SetSlider(static_cast<Slider>(input.index), input.value);
        break;
      case WaitingInput::Kind::kSwitch:
        SetSwitch(input.index, input.value != 0);
        break;
    }
  }
  if (waiting_.empty() && !Held() && onReleased) onReleased();
  return waiting_.empty();
}

void Simulator::Timer1Timer(std::uint64_t nowMs) {
  if (Held()) {
    // The time of the hold does not count.
    lastTick_ = static_cast<std::uint16_t>(nowMs & 0xFFFF);
    return;
  }
  ReadInputs();
  // The step is the elapsed time in 10 ms units, at most 50.  The difference
  // is taken modulo 2^16 so that the counter wrapping between two ticks still
  // gives the real elapsed time.
  auto now = static_cast<std::uint16_t>(nowMs & 0xFFFF);
  auto elapsed = static_cast<std::uint16_t>(now - lastTick_);
  auto step = static_cast<std::int16_t>(std::min<int>(elapsed / 10, kMaxTimeStep));
  SimRunner& runner = *ports_.runner;
  for (int id : {kExtDtime1, kExtDtime2, kExtDtime3})
    runner.SetExt(id, static_cast<std::int16_t>(static_cast<std::uint16_t>(runner.Ext(id)) + step));
  lastTick_ = now;

  if (timerEnabled_) {
    RaiseEvent(TimerLabel());
  } else {
    for (int id : {kExtDtime1, kExtDtime2, kExtDtime3}) runner.SetExt(id, 0);
  }

  const GaugeTurn& turn = GaugeTurns()[static_cast<std::uint32_t>(tickCount_) % 5];
  if (gaugeDirty_ & turn.bit) {
    gaugeDirty_ &= static_cast<std::uint8_t>(~turn.bit);
    RaiseEvent(turn.label);
  }
  tickCount_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(tickCount_) + 1);
}

void Simulator::StartMacro() {
  SimMacroSource& macro = *ports_.macro;
  if (macro.HasErrors()) return;
  SimRunner& runner = *ports_.runner;
  waiting_.clear();  // they were meant for the macro that goes
  runner.SetHandlers([this](const std::string& m) { ShowRunMessage(m); },
                     [this](const std::string& l) { SendToDevice(l); });
  runner.SetLabelList(macro.LabelTable());
  runner.LoadImage(macro.Image());
  runner.RunFrom(std::nullopt);
}

void Simulator::ReloadAndStart() {
  ports_.macro->CompileMacro();
  StartMacro();
}

void Simulator::Activate() {
  if (!firstActivation_) return;
  firstActivation_ = false;
  ReloadAndStart();
}

void Simulator::ShowRunMessage(const std::string& message) {
  if (ports_.messages) ports_.messages->ShowRunMessage(message);
}

void Simulator::SendToDevice(const std::string& line) {
  SimLink* link = ports_.link;
  if (!link) return;
  if (checkRun_) {
    if (!link->SendLine(line)) {
      checkRun_ = false;
      checkRunCaption_ = CaptionNotConnected();
      if (onCheckRunChanged) onCheckRunChanged();
    }
    return;
  }
  // Without a device the BUSY line still paces the emulation, in proportion
  // to the amount of text sent.
  size_t reads = (line.size() + 1) * 41 + 1;
  for (size_t i = 0; i < reads; ++i) (void)link->DeviceBusy();
}

void Simulator::SetCheckRun(bool on) {
  checkRun_ = on;
  checkRunCaption_ = CaptionRealDevice();
}

DropOutcome Simulator::DropFile(const std::string& path) {
  std::string ext = LowerExtension(path);
  bool bmp = ext == ".bmp";
  bool jpeg = ext == ".jpg" || ext == ".jpeg";
  if (!bmp && !jpeg && ext != ".txt") return {false, path + "はサポートしていない", nullptr, false};

  std::string bytes;
  try {
    bytes = ReadFile(path);
  } catch (const std::exception& e) {
    return {false, e.what(), std::current_exception()};
  }
  return DropBytes(path, bytes);
}

DropOutcome Simulator::DropBytes(const std::string& path, std::string_view bytes) {
  std::string ext = LowerExtension(path);
  bool bmp = ext == ".bmp";
  bool jpeg = ext == ".jpg" || ext == ".jpeg";
  if (!bmp && !jpeg && ext != ".txt") return {false, path + "はサポートしていない", nullptr, false};

  if (ext == ".txt") {
    ports_.macro->ReplaceMacro(SplitLines(bytes));
    ReloadAndStart();
    return {};
  }

  if (!ports_.display) return {false, "「" + path + "」を描く表示ページがありません", nullptr, false, true};
  // A size past the limits is refused from the header: nothing is decoded.
  const PictureHeader header = ReadPictureHeader(bytes, jpeg);
  if (header.TooLarge()) return {false, TooLargePictureText(path, header), nullptr, false, false, true};
  RgbImage picture;
  std::string error;
  bool decoded = bmp ? DecodeBmp(bytes, path, picture, error) : DecodeJpeg(bytes, picture, error);
  if (!decoded) return {false, NotAPictureText(path), nullptr, true};
  DrawPictureOnPage(picture, ports_.display->DisplayPagePixels());
  ports_.display->DisplayPageChanged();
  return {};
}

}  // namespace qmt
