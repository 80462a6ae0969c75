// The simulator main window without its widgets: the inputs of the pump
// panel (sliders, keys, switches), the 33 ms timer with its elapsed-time step
// and gauge rotation, the main runner's handlers and dropped files.  The Qt
// window and `qmt run` are thin shells over this class, so both behave alike.
//
// The simulator reaches the macro engine, the device and the port link only
// through the small interfaces below; simulator_binding.h fills them with the
// real runner, device and link, and data_module.h with the data module.
#pragma once

#include <array>
#include <exception>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmt {

// The main runner, as far as the simulator drives it.
class SimRunner {
 public:
  using Handler = std::function<void(const std::string&)>;
  virtual ~SimRunner() = default;
  // Message handler (device errors, run stops) and line handler (each line
  // the emulator accepted).
  virtual void SetHandlers(Handler message, Handler line) = 0;
  virtual void SetLabelList(const std::vector<std::string>& labels) = 0;
  virtual void LoadImage(const std::vector<std::uint8_t>& image) = 0;
  // Runs from the label (matched ignoring case) or, with none, from where the
  // last load or run left the program counter.
  virtual void RunFrom(std::optional<std::string_view> label) = 0;
  virtual std::int16_t Ext(int id) const = 0;
  virtual void SetExt(int id, std::int16_t value) = 0;
  // Whether a debugger holds a run; events then wait (RunWaitingEvents).
  virtual bool Held() const { return false; }
};

// The data module and the tool window's side of it: the macro text, its
// compile, the error log and the label table.
class SimMacroSource {
 public:
  virtual ~SimMacroSource() = default;
  virtual bool MacroReady() const = 0;
  virtual void ClearMacroReady() = 0;
  virtual bool HasErrors() const = 0;
  // Brings the tool window forward on its error page.
  virtual void ShowErrorPage() = 0;
  virtual bool HasLabel(std::string_view label) const = 0;
  virtual std::vector<std::string> LabelTable() const = 0;
  // The P-code of the last compile.
  virtual std::vector<std::uint8_t> Image() const = 0;
  // Copies the macro into the tool window's editor and compiles it.
  virtual void CompileMacro() = 0;
  // Replaces the macro text (code page 932 lines).
  virtual void ReplaceMacro(std::vector<std::string> lines) = 0;
};

// Where run messages go: the tool window's caption, or a stand-in list.
class SimMessages {
 public:
  virtual ~SimMessages() = default;
  virtual void ShowRunMessage(const std::string& message) = 0;
};

// The real device on the port.
class SimLink {
 public:
  virtual ~SimLink() = default;
  virtual bool SendLine(std::string_view line) = 0;
  virtual bool DeviceBusy() = 0;
};

// The display page of the emulated device.
class SimDisplay {
 public:
  virtual ~SimDisplay() = default;
  // 640 x 480 colour bytes, row by row.
  virtual std::uint8_t* DisplayPagePixels() = 0;
  // Tells the window that the whole display page changed outside the command
  // path (a dropped picture).
  virtual void DisplayPageChanged() = 0;
};

// The analogue inputs, in the order of the slider column.
enum class Slider { Rot, Level, Pres, Gang, Flow, Throttle };
inline constexpr int kSliderCount = 6;

struct SliderInfo {
  const char* control;   // form name, e.g. "TrackROT"
  const char* name;      // option name of `qmt run --slider`
  const char* caption;   // UTF-8 label above the slider
  int arrowStep;
  int pageStep;
  std::uint8_t gaugeBit; // bit set in GaugeDirty on a change
  int extId;             // external cell the position is copied to, or -1
};
extern const std::array<SliderInfo, kSliderCount> kSliders;

struct KeyInfo {
  const char* control;   // e.g. "swRUN"
  const char* caption;   // UTF-8
  const char* label;     // UTF-8 event label
  bool red;              // drawn with red text
};
// The eleven keys: the three groups under the display, then UP and DOWN.
extern const std::array<KeyInfo, 11> kKeys;

struct SwitchInfo {
  const char* control;   // e.g. "swPTO"
  const char* caption;   // "PTO"; also the event name after "chg"
  int extId;             // external cell, or -1 (SCW1)
};
inline constexpr int kSwitchCount = 15;
extern const std::array<SwitchInfo, kSwitchCount> kSwitches;

// A label the simulator runs on an input, and what raises it (UTF-8): the
// keys, the switches ("chg" + name), the gauges on a slider move, the timer.
struct EventLabelInfo {
  std::string label;   // code page 932
  std::string source;  // UTF-8, e.g. "key 作動 (swRUN)"
};
std::vector<EventLabelInfo> EventLabels();

// Bits of GaugeDirty.
inline constexpr std::uint8_t kGaugeLevel = 0x01, kGaugePres = 0x02, kGaugeGang = 0x04,
                              kGaugeFlow = 0x08, kGaugeRot = 0x10;

inline constexpr int kExtDtime1 = 0, kExtDtime2 = 1, kExtDtime3 = 2;
// The gauge step of the timer is limited to 50 units of 10 ms.
inline constexpr int kMaxTimeStep = 50;

// Outcome of a dropped file: ok, or a UTF-8 message for a message box, in
// the words the windows and the page share.  A window that words file
// errors itself finds the one behind a refusal in `error`; the flags say why
// a picture was refused.
struct DropOutcome {
  bool ok = true;
  std::string message;
  std::exception_ptr error;
  bool notAPicture = false;
  bool noDisplay = false;  // a picture, but no display page to draw it on
  bool tooLarge = false;   // its header names a size past the limits; not decoded
};

class Simulator {
 public:
  struct Ports {
    SimRunner* runner = nullptr;     // required for inputs, ticks and events
    SimMacroSource* macro = nullptr; // required for events and starting
    SimMessages* messages = nullptr;
    SimLink* link = nullptr;       // may be null: lines then go nowhere
    SimDisplay* display = nullptr; // may be null: dropped pictures are refused
  };

  explicit Simulator(Ports ports);
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // --- inputs -------------------------------------------------------------
  // A slider moved: store the position, mark its gauge, ReadInputs.
  void SetSlider(Slider slider, int position);
  int SliderPosition(Slider slider) const { return sliders_[static_cast<int>(slider)]; }
  // A sensor box changed (index into kSwitches).  The cell follows at the next
  // ReadInputs; the "chg" event is the sensor panel's business.
  void SetSwitch(int index, bool on);
  bool SwitchState(int index) const { return switches_[index]; }
  // Looks up a slider by its option name or a switch by its caption.
  static std::optional<Slider> SliderByName(std::string_view name);
  static int SwitchByCaption(std::string_view caption);  // -1 if unknown
  // The names those accept, from the tables, for messages and help:
  // "rot, level, ..." and "PTO, SFT1, ...".
  static std::string SliderNames();
  static std::string SwitchNames();

  // Copies sliders and switches into the main runner's external table.
  void ReadInputs();

  // --- events -------------------------------------------------------------
  // Delivers an event label (code page 932) to the macro.
  void RaiseEvent(std::string_view label);

  // While a debugger holds a run, the macro's world stands still: the timer
  // skips its ticks (the clocks do not advance), and events, slider moves
  // and sensor boxes wait in order (a newer move of a slider replaces an
  // older one that still waits).  Once the run has ended, this delivers
  // what waits, in order, until a run is held again; it returns whether
  // nothing waits any more.
  bool RunWaitingInputs();
  bool HasWaitingInputs() const { return !waiting_.empty(); }
  // Whether a debugger holds a run.
  bool Held() const { return ports_.runner && ports_.runner->Held(); }
  // Called by RunWaitingInputs once no run is held and nothing waits: what
  // stood still for a held run (a scenario's replay) may go on.
  std::function<void()> onReleased;
  // One tick of the 33 ms timer; nowMs is a millisecond clock of which only the
  // low 16 bits count.
  void Timer1Timer(std::uint64_t nowMs);
  void SetTimerEnabled(bool on) { timerEnabled_ = on; }  // CheckTimer
  bool TimerEnabled() const { return timerEnabled_; }

  std::uint8_t GaugeDirty() const { return gaugeDirty_; }
  std::int32_t TickCount() const { return tickCount_; }
  std::uint16_t LastTick() const { return lastTick_; }
  // Back to the start: no gauge pending, no ticks, the previous tick at 0.
  void ResetTimerCounts() {
    gaugeDirty_ = 0;
    tickCount_ = 0;
    lastTick_ = 0;
  }

  // --- the macro ----------------------------------------------------------
  void StartMacro();
  void ReloadAndStart();
  // The window was activated: the first activation compiles and starts.
  void Activate();

  // --- runner handlers ----------------------------------------------------
  void ShowRunMessage(const std::string& message);
  void SendToDevice(const std::string& line);

  // CheckRun: ticking or unticking by the user also restores the caption.
  void SetCheckRun(bool on);
  bool CheckRun() const { return checkRun_; }
  // Code page 932: "実機テスト" or "未接続".
  const std::string& CheckRunCaption() const { return checkRunCaption_; }
  // Called when a failed transmission unticked CheckRun.
  std::function<void()> onCheckRunChanged;

  // --- dropped files ------------------------------------------------------
  // Only the first of several files counts; the caller passes that one.
  DropOutcome DropFile(const std::string& path);
  // The same for a file's bytes already read (a page in a browser gets the
  // bytes, not a path); `path` names the file and gives its extension.
  DropOutcome DropBytes(const std::string& path, std::string_view bytes);

 private:
  Ports ports_;
  std::array<int, kSliderCount> sliders_{};
  std::array<bool, kSwitchCount> switches_{};
  std::uint8_t gaugeDirty_ = 0;
  std::int32_t tickCount_ = 0;
  std::uint16_t lastTick_ = 0;
  bool firstActivation_ = true;
  bool timerEnabled_ = true;
  bool checkRun_ = true;
  std::string checkRunCaption_;
  struct WaitingInput {
    enum class Kind { kEvent, kSlider, kSwitch } kind;
    std::string label;
    int index = 0;
    int value = 0;
  };
  std::deque<WaitingInput> waiting_;  // inputs made while a run was held
};

}  // namespace qmt
