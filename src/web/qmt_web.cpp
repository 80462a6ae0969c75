// The web page's session: the simulator model over a data module, a runner
// and a device of its own, wired as the window wires them; the C functions
// of qmt_web.h turn its results into JSON for the page.
#include "web/qmt_web.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "device/bmp.h"
#include "device/colour.h"
#include "device/escape.h"
#include "device/qmt3308.h"
#include "host/data_module.h"
#include "host/macro_compile.h"
#include "host/picture_drop.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "runtime/builtins.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "web/web_json.h"

namespace qmt::web {
namespace {

// The run messages of the current action, for the outcome.
class MessageList : public SimMessages {
 public:
  void ShowRunMessage(const std::string& message) override { messages.push_back(message); }
  std::vector<std::string> messages;  // code page 932
};

class PageDisplay : public SimDisplay {
 public:
  explicit PageDisplay(TQMT3308& device) : device_(device) {}
  std::uint8_t* DisplayPagePixels() override { return device_.DisplayPageBytes(); }
  void DisplayPageChanged() override { device_.NotifyPageChanged(device_.DisplayPage()); }

 private:
  TQMT3308& device_;
};

struct Session {
  Session() : port(runner), source(dm), display(device), model({&port, &source, &messages, nullptr, &display}) {
    runner.SetDevice(&device);
    runner.Context().state = state.get();
  }
  HeadlessToolWindow tool;  // with the built-in colour list
  TDM dm{tool};
  TQMT3308 device;
  std::unique_ptr<TRuntimeState> state = std::make_unique<TRuntimeState>();
  TRunner runner;
  RunnerPort port;
  DataModuleMacroSource source;
  MessageList messages;
  PageDisplay display;
  Simulator model;
  std::string pendingSwitchEvent;  // the sensor panel's event for the next tick
  bool compiled = false;           // the outcome carries the error list
};

std::unique_ptr<Session> gSession;
std::string gText;                 // the returned string
std::vector<std::uint8_t> gInput;  // the page's byte input
std::string gBytes;                // qmt_web_text_to_file's result
std::string gLastError;
std::vector<std::uint8_t> gRgba(static_cast<std::size_t>(kPageBytes) * 4);
std::vector<std::uint8_t> gShown;  // the page as last converted
std::int32_t gFrame = 0;

const char* Return(std::string text) {
  gText = std::move(text);
  return gText.c_str();
}

// A core exception's text: most are code page 932, file errors UTF-8.
std::string FaultText(const char* what) {
  std::string text(what);
  std::string out, error;
  if (ValidUtf8(text) == text) return text;
  return Cp932ToUtf8(text);
}

// The error page's form of a compiler message: the compiler counts lines
// from 0, the editor from 1, and the editor's number goes in front.
ErrorLine ErrorPageLine(const std::string& cp932) {
  int line = -1;
  const std::string text = Cp932ToUtf8(cp932);
  if (std::sscanf(cp932.c_str(), "%d", &line) != 1 || line < 0) return {-1, text};
  return {line + 1, "[" + std::to_string(line + 1) + "行目] " + text};
}

struct Outcome {
  bool ok = true;
  std::string error;
  std::string fault;
};

Session& Current() {
  if (!gSession) gSession = std::make_unique<Session>();
  return *gSession;
}

// Runs an action on the session and words its outcome.
template <typename Action>
const char* Act(Action action) {
  Outcome outcome;
  Session* s = nullptr;
  try {
    s = &Current();
    s->messages.messages.clear();
    s->compiled = false;
    action(*s, outcome);
  } catch (const std::bad_alloc&) {
    outcome.fault = "メモリが足りません";
  } catch (const std::exception& e) {
    outcome.fault = FaultText(e.what());
  } catch (...) {
    outcome.fault = "unknown fault";
  }
  try {
    OutcomeJson json;
    std::vector<std::string> messages;
    if (s) {
      for (const std::string& m : s->messages.messages) messages.push_back(Cp932ToUtf8(m));
      s->messages.messages.clear();
    }
    std::vector<ErrorLine> errors;
    bool hasErrors = false;
    if (s && s->compiled) {
      hasErrors = true;
      for (const std::string& e : s->tool.ErrLog()) errors.push_back(ErrorPageLine(e));
    }
    const bool ok = outcome.ok && outcome.fault.empty() && errors.empty();
    return Return(json.Write(ok, hasErrors ? &errors : nullptr, messages, outcome.error, outcome.fault,
                             qmt_web_frame()));
  } catch (...) {
    return Return("{\"ok\":false,\"fault\":\"メモリが足りません\"}");
  }
}

// Copies the display page into the RGBA picture when it changed.
void Refresh() {
  if (!gSession) return;
  const std::uint8_t* page = gSession->device.DisplayPageBytes();
  if (gShown.size() == static_cast<std::size_t>(kPageBytes) && std::memcmp(gShown.data(), page, kPageBytes) == 0)
    return;
  gShown.assign(page, page + kPageBytes);
  for (int i = 0; i < kPageBytes; ++i) {
    const Rgb c = ColourToRGB(page[i]);
    std::uint8_t* p = &gRgba[static_cast<std::size_t>(i) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = 255;
  }
  ++gFrame;
}

std::string_view Bytes(const std::uint8_t* data, std::int32_t size) {
  if (!data || size <= 0) return {};
  return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(size)};
}

}  // namespace
}  // namespace qmt::web

using namespace qmt;
using namespace qmt::web;

extern "C" {

const char* qmt_web_start(void) {
  try {
    gSession.reset();
    gShown.clear();
  } catch (...) {
  }
  return Act([](Session& s, Outcome&) {
    s.model.Activate();
    s.compiled = true;
  });
}

const char* qmt_web_start_with(const uint8_t* cp932, int32_t size) {
  try {
    gSession.reset();
    gShown.clear();
  } catch (...) {
  }
  return Act([cp932, size](Session& s, Outcome&) {
    s.source.ReplaceMacro(SplitLines(Bytes(cp932, size)));
    s.model.Activate();
    s.compiled = true;
  });
}

const char* qmt_web_panel(void) {
  try {
    return Return(PanelJson());
  } catch (...) {
    return Return("{}");
  }
}

uint8_t* qmt_web_input(int32_t size) {
  if (size < 0 || size > (256 << 20)) return nullptr;
  try {
    gInput.resize(static_cast<std::size_t>(size) + 1);
  } catch (...) {
    return nullptr;
  }
  return gInput.data();
}

const char* qmt_web_compile(const uint8_t* cp932, int32_t size) {
  return Act([cp932, size](Session& s, Outcome&) {
    s.source.ReplaceMacro(SplitLines(Bytes(cp932, size)));
    s.model.ReloadAndStart();
    s.compiled = true;
  });
}

const char* qmt_web_macro_text(void) {
  try {
    std::string text;
    const std::vector<std::string> lines = Current().dm.Macro.Items().Strings();
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + Cp932ToUtf8Kept(lines[i]);
    return Return(std::move(text));
  } catch (...) {
    return Return("");
  }
}

const char* qmt_web_listing(void) {
  try {
    std::vector<std::string> list;
    Current().dm.Script1.ListCode(list);
    std::string text;
    for (const std::string& line : list) text += Cp932ToUtf8(line) + "\n";
    return Return(std::move(text));
  } catch (...) {
    return Return("");
  }
}

const char* qmt_web_key(int32_t index) {
  return Act([index](Session& s, Outcome& o) {
    if (index < 0 || index >= static_cast<int32_t>(kKeys.size())) {
      o.ok = false;
      o.error = "no key " + std::to_string(index);
      return;
    }
    s.model.ReadInputs();
    s.model.RaiseEvent(Sjis(kKeys[static_cast<std::size_t>(index)].label));
  });
}

const char* qmt_web_slider(int32_t index, int32_t position) {
  return Act([index, position](Session& s, Outcome& o) {
    if (index < 0 || index >= kSliderCount) {
      o.ok = false;
      o.error = "no slider " + std::to_string(index);
      return;
    }
    s.model.SetSlider(static_cast<Slider>(index), std::clamp(position, 0, 1000));
  });
}

const char* qmt_web_switch(int32_t index, int32_t on) {
  return Act([index, on](Session& s, Outcome& o) {
    if (index < 0 || index >= kSwitchCount) {
      o.ok = false;
      o.error = "no switch " + std::to_string(index);
      return;
    }
    s.model.SetSwitch(index, on != 0);
    s.pendingSwitchEvent = "chg" + std::string(kSwitches[static_cast<std::size_t>(index)].caption);
  });
}

const char* qmt_web_tick(double nowMs) {
  return Act([nowMs](Session& s, Outcome&) {
    // Only the low 16 bits of the clock count; anything not a number is 0.
    const double ms = nowMs >= 0 && nowMs < 9e15 ? nowMs : 0;
    s.model.Timer1Timer(static_cast<std::uint64_t>(ms));
    if (!s.pendingSwitchEvent.empty()) {
      // Emptied before the run: an event raised from inside it is kept.
      std::string event = std::move(s.pendingSwitchEvent);
      s.pendingSwitchEvent.clear();
      s.model.RaiseEvent(event);
    }
  });
}

void qmt_web_set_timer(int32_t on) {
  try {
    Current().model.SetTimerEnabled(on != 0);
  } catch (...) {
  }
}

int32_t qmt_web_frame(void) {
  Refresh();
  return gFrame;
}

const uint8_t* qmt_web_rgba(void) { return gRgba.data(); }

const uint8_t* qmt_web_page(void) {
  try {
    return Current().device.DisplayPageBytes();
  } catch (...) {
    return nullptr;
  }
}

const uint8_t* qmt_web_palette(void) {
  static std::uint8_t palette[256 * 4];
  for (int c = 0; c < 256; ++c) {
    const Rgb rgb = ColourToRGB(static_cast<std::uint8_t>(c));
    palette[c * 4] = rgb.r;
    palette[c * 4 + 1] = rgb.g;
    palette[c * 4 + 2] = rgb.b;
    palette[c * 4 + 3] = 255;
  }
  return palette;
}

const char* qmt_web_command(const uint8_t* utf8, int32_t size) {
  return Act([utf8, size](Session& s, Outcome& o) {
    const std::vector<std::string> lines = SplitLines(Bytes(utf8, size));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;  // blank lines separate groups of commands
      std::string cp932, error;
      if (!TryUtf8ToCp932(lines[i], cp932, error)) {
        o.ok = false;
        if (o.error.empty()) o.error = "QMTコマンド " + UnconvertibleText(lines[i], static_cast<int>(i) + 1);
        continue;
      }
      if (!s.device.ExecuteLine(Unescape(cp932))) s.messages.messages.push_back(s.device.LastError());
    }
  });
}

const char* qmt_web_drop(const char* name, const uint8_t* bytes, int32_t size) {
  return Act([name, bytes, size](Session& s, Outcome& o) {
    const std::string file = name ? name : "";
    const DropOutcome drop = s.model.DropBytes(file, Bytes(bytes, size));
    if (!drop.ok) {
      o.ok = false;
      o.error = drop.message;
    }
    std::string ext = file.substr(std::min(file.size(), file.find_last_of('.')));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".txt" && drop.ok) s.compiled = true;
  });
}

const char* qmt_web_drop_rgb(int32_t width, int32_t height, const uint8_t* rgb, int32_t size) {
  return Act([width, height, rgb, size](Session& s, Outcome& o) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || !rgb ||
        static_cast<std::int64_t>(width) * height * 3 != size) {
      o.ok = false;
      o.error = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " does not match " +
                std::to_string(size) + " bytes";
      return;
    }
    // Only what reaches the page is kept.
    RgbImage picture;
    picture.width = std::min(width, kPageWidth);
    picture.height = std::min(height, kPageHeight);
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y)
      std::copy_n(rgb + static_cast<std::size_t>(y) * width * 3, picture.width * 3,
                  picture.rgb.data() + static_cast<std::size_t>(y) * picture.width * 3);
    DrawPictureOnPage(picture, s.display.DisplayPagePixels());
    s.display.DisplayPageChanged();
  });
}

int32_t qmt_web_has_jpeg(void) { return JpegDecoderAvailable() ? 1 : 0; }

const char* qmt_web_file_to_text(const uint8_t* cp932, int32_t size) {
  try {
    const std::vector<std::string> lines = SplitLines(Bytes(cp932, size));
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + Cp932ToUtf8Kept(lines[i]);
    return Return(std::move(text));
  } catch (...) {
    return Return("");
  }
}

int32_t qmt_web_text_to_file(const uint8_t* utf8, int32_t size) {
  try {
    const std::string_view text = Bytes(utf8, size);
    std::string cp932, error;
    if (!TryUtf8ToCp932Kept(text, cp932, error)) {
      gLastError = UnconvertibleText(text, 1, true);
      return -1;
    }
    gBytes = JoinLinesCrLf(SplitLines(cp932));
    return static_cast<int32_t>(gBytes.size());
  } catch (const std::bad_alloc&) {
    gLastError = "メモリが足りません";
  } catch (const std::exception& e) {
    gLastError = FaultText(e.what());
  }
  return -1;
}

const uint8_t* qmt_web_bytes(void) { return reinterpret_cast<const uint8_t*>(gBytes.data()); }

const char* qmt_web_last_error(void) { return gLastError.c_str(); }

int32_t qmt_web_file_is_utf8(const uint8_t* bytes, int32_t size) { return LooksLikeUtf8(Bytes(bytes, size)) ? 1 : 0; }

const char* qmt_web_check_picture(const char* name, const uint8_t* bytes, int32_t size) {
  return Act([name, bytes, size](Session&, Outcome& o) {
    const std::string file = name ? name : "";
    std::string ext = file.substr(std::min(file.size(), file.find_last_of('.')));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    const PictureHeader header = ReadPictureHeader(Bytes(bytes, size), ext != ".bmp");
    if (header.TooLarge()) {
      o.ok = false;
      o.error = TooLargePictureText(file, header);
    }
  });
}

}  // extern "C"
