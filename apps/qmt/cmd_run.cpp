// qmt run: compiles a macro as qmt compile does, runs it on the device from
// its start, then carries out --set and --event in command-line order and
// writes the pages.
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "compiler/script.h"
#include "device/escape.h"
#include "device/png.h"
#include "device/qmt3308.h"
#include "host/config_files.h"
#include "host/data_module.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/simulator.h"
#include "host/simulator_binding.h"
#include "link_setup.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt::cli {
namespace {

// One step after the start run, in command-line order.
struct RunAction {
  enum class Kind { kSet, kEvent, kTick, kSlider, kSwitch } kind;
  std::string text;  // NAME=VALUE, LABEL or N, as typed (UTF-8)
};

struct RunOptions {
  std::string macro;
  std::string macroFile;  // --macro: the data module's macro file
  bool utf8 = false;
  std::vector<std::string> sets;
  std::vector<std::string> events;
  bool lines = false;
  bool trace = false;
  int maxSteps = kDefaultStepBudget;
  int maxLines = kDefaultLineBudget;
  std::string pages;
  std::string png;
  std::string port;         // --port: send accepted lines to the device
  bool portGiven = false;
  std::string devicePages;  // --device-pages: the virtual device's pages
  std::vector<int> ticks;            // --tick N
  std::vector<std::string> sliders;  // --slider NAME=VALUE
  std::vector<std::string> switches; // --switch NAME=0|1
  std::vector<RunAction> actions;  // filled from the parse order
};

// A 16-bit value: decimal with an optional sign, or hexadecimal after "$"
// or "0x"; -32768 to 65535, stored modulo 65536.
bool ParseValue(std::string_view text, std::int16_t& value) {
  bool negative = false;
  int base = 10;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (negative) v = -v;
  if (v < -32768 || v > 65535) return false;
  value = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
  return true;
}

// Checks NAME=VALUE against the host's external names; "" when fine.
std::string CheckSet(const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return "expected NAME=VALUE, got '" + text + "'";
  std::string name;
  std::string error;
  if (!TryUtf8ToCp932(text.substr(0, eq), name, error)) return error;
  static const NameTables tables;
  if (tables.ExternalId(name) < 0) return "unknown external value '" + text.substr(0, eq) + "'";
  std::int16_t value;
  if (!ParseValue(std::string_view(text).substr(eq + 1), value)) {
    return "value of " + text.substr(0, eq) + " is not a number from -32768 to 65535: '" + text.substr(eq + 1) + "'";
  }
  return {};
}

// Compiles the macro; prints the error log and returns false on errors.
bool CompileMacroFile(const RunOptions& opt, TScript& script) {
  const std::vector<std::string> source = SplitLines(ReadInput(opt.macro, opt.utf8));
  NameTables tables;
  const std::vector<std::string> errors = CompileMacroLines(script, tables, source);
  for (const std::string& e : errors) {
    for (const std::string& line : SplitLines(e)) PrintError(line);
  }
  return errors.empty();
}

// Without MACRO the program's own macro runs, as the simulator starts it: the
// data module's macro file (--macro, else the one beside the program) when it
// exists, else the built-in default; the colour file likewise.  Prints the
// error log and returns false on errors.
bool CompileDataModuleMacro(const RunOptions& opt, HeadlessToolWindow& tool, TDM& dm) {
  ConfigFiles files = LocateConfigFiles(ExecutablePath("qmt"), opt.macroFile);
  if (!opt.macroFile.empty() && !std::filesystem::exists(opt.macroFile))
    throw FileError("cannot open " + opt.macroFile + ": No such file or directory");
  std::error_code ec;
  bool fromConfigDir = !files.note.empty() && (std::filesystem::exists(files.macroFile, ec) ||
                                               std::filesystem::exists(files.colorFile, ec));
  if (fromConfigDir || files.firstStart) PrintError(Utf8ToCp932("note: " + files.note));
  if (std::filesystem::is_regular_file(files.colorFile, ec)) tool.SetColorList(ReadListFile(files.colorFile));
  std::string problem = dm.DataModuleCreate(files.macroFile);
  if (!problem.empty()) PrintError(Utf8ToCp932(problem));
  dm.CompileMacro();
  for (const std::string& e : tool.ErrLog()) {
    for (const std::string& line : SplitLines(e)) PrintError(line);
  }
  return dm.MacroReady();
}

// Checks NAME=VALUE for --slider (VALUE 0-1000) and --switch (0 or 1).
std::string CheckInput(const std::string& text, bool slider) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return "expected NAME=VALUE, got '" + text + "'";
  const std::string name = text.substr(0, eq), value = text.substr(eq + 1);
  int v = -1;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
  bool numberOk = ec == std::errc() && end == value.data() + value.size();
  if (slider) {
    if (!Simulator::SliderByName(name)) return "unknown slider '" + name + "' (rot, level, pres, gang, flow, throttle)";
    if (!numberOk || v < 0 || v > 1000) return "position of slider " + name + " is not 0-1000: '" + value + "'";
  } else {
    if (Simulator::SwitchByCaption(name) < 0)
      return "unknown switch '" + name + "' (PTO, SFT1-SFT3, SCW1, SBOutl, SLOut1, SLOut2, SROut1, SROut2, SLJoin, " +
             "SRJoin, SLSuct, SRSuct, STank)";
    if (!numberOk || (v != 0 && v != 1)) return "switch " + name + " takes 0 or 1, not '" + value + "'";
  }
  return {};
}

// Simulated time of the timer ticks: exactly 33 ms each, from 0.
struct TickClock {
  std::uint64_t nowMs = 0;
};

void Apply(const RunAction& action, TRunner& runner, Simulator& sim, TickClock& clock) {
  static const NameTables tables;
  const std::size_t eq = action.text.find('=');
  switch (action.kind) {
    case RunAction::Kind::kSet: {
      std::int16_t value = 0;
      ParseValue(std::string_view(action.text).substr(eq + 1), value);
      runner.externals[static_cast<std::size_t>(tables.ExternalId(Utf8ToCp932(action.text.substr(0, eq))))] = value;
      break;
    }
    case RunAction::Kind::kEvent: {
      // As the main window raises events: a label the macro lacks is no event.
      const std::string label = Utf8ToCp932(action.text);
      if (runner.HasLabel(label)) runner.RunFrom(label);
      break;
    }
    case RunAction::Kind::kTick: {
      for (int n = std::stoi(action.text); n > 0; --n) sim.Timer1Timer(clock.nowMs += 33);
      break;
    }
    case RunAction::Kind::kSlider: {
      sim.SetSlider(*Simulator::SliderByName(action.text.substr(0, eq)), std::stoi(action.text.substr(eq + 1)));
      break;
    }
    case RunAction::Kind::kSwitch: {
      sim.SetSwitch(Simulator::SwitchByCaption(action.text.substr(0, eq)), action.text.substr(eq + 1) == "1");
      break;
    }
  }
}

void WriteOutputs(const RunOptions& opt) {
  TQMT3308& device = Device();
  if (!opt.pages.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(opt.pages, ec);
    if (ec) throw FileError("cannot create " + opt.pages + ": " + ec.message());
    for (int page = 0; page < 4; ++page) {
      device.SavePage(page, (std::filesystem::path(opt.pages) / ("VRAM" + std::to_string(page) + ".bmp")).string());
    }
  }
  if (!opt.png.empty()) WritePagePng(opt.png, device.DisplayPageBytes());
}

int Run(const RunOptions& opt) {
  TScript ownScript;
  HeadlessToolWindow tool;
  TDM dm(tool);
  const TScript& script = opt.macro.empty() ? dm.Script1 : ownScript;
  if (opt.macro.empty() ? !CompileDataModuleMacro(opt, tool, dm) : !CompileMacroFile(opt, ownScript)) return 1;

  TRunner runner;
  int messages = 0;
  runner.onMessage = [&](const std::string& m) {
    ++messages;
    PrintError(m);
  };
  // With a port, every accepted line also goes to the device, as the main
  // window sends with its real-device box ticked; after a line the device
  // does not take, nothing more is sent.
  LinkSetup link;
  bool linkUp = false;
  const char* envPort = std::getenv("QMT_PORT");
  if (opt.portGiven || !opt.devicePages.empty() || (envPort && *envPort)) {
    link = OpenCliLink(opt.port);
    linkUp = true;
    if (!opt.devicePages.empty() && !link.device) {
      PrintError("qmt run: --device-pages needs --port virtual (the port is " + link.link->Name() + ")");
      return 1;
    }
  }
  runner.onLine = [&opt, &link, &linkUp, &messages](std::string_view line) {
    if (opt.lines) PrintLine(EscapeForDisplay(line));
    if (linkUp && !link.link->SendLine(line)) {
      linkUp = false;
      ++messages;
      PrintError("qmt run: the device did not take " + EscapeForDisplay(line) + " (port " + link.link->Name() +
                 "); no further lines are sent");
    }
  };
  runner.stepBudget = opt.maxSteps;
  runner.lineBudget = opt.maxLines;
  script.ListLabels(runner.labels);
  if (opt.trace) {
    SetTraceWriter([](std::string_view line) { PrintLine(std::string(line)); });
    SetTraceEnabled(true);
  }
  // The window's inputs and timer, for --tick, --slider and --switch.
  RunnerPort runnerPort(runner);
  RunnerLabelSource labels(runner);
  Simulator sim({&runnerPort, &labels});
  TickClock clock;
  if (runner.LoadImage(script.Code())) {
    runner.RunFrom();
    for (const RunAction& action : opt.actions) Apply(action, runner, sim, clock);
  }
  SetTraceEnabled(false);
  SetTraceWriter(nullptr);
  WriteOutputs(opt);
  if (!opt.devicePages.empty()) SaveDevicePages(link, opt.devicePages);
  return messages > 0 ? 2 : 0;
}

static Command reg(30, [](CLI::App& app) {
  auto* sub = app.add_subcommand("run", "Compile a macro and run it on the device from its start");
  sub->footer(
      "After the start run, --set, --event, --tick, --slider and --switch are carried out in the order\n"
      "given. --set writes an external value by its name (DTIME1, anPRES, PTO, ...); --event runs the\n"
      "macro from a label as the main window does (a label the macro does not define is skipped).\n"
      "--tick N runs N ticks of the main window's timer with exactly 33 ms of simulated time each\n"
      "(DTIME1-3 step, the timer label, one gauge label per tick). --slider moves a slider as the\n"
      "window's do: it marks its gauge and copies the sliders and switches into their cells. --switch\n"
      "sets a sensor panel box; its cell follows at the next tick or slider move. The window's inputs\n"
      "overwrite --set values of their cells at every tick. Run messages and device\n"
      "errors go to standard error. Exit status: 1 when the compile failed, 2 when a run reported a\n"
      "message, else 0.");
  auto opt = std::make_shared<RunOptions>();
  CLI::Option* macro =
      sub->add_option("MACRO", opt->macro,
                      "Macro file (code page 932); - reads standard input. Without it the program's own macro runs:\n"
                      "the macro file beside the program (or --macro FILE) when it exists, else the built-in\n"
                      "pump-panel macro");
  sub->add_option("--macro", opt->macroFile, "The program's macro file, instead of the one beside the program")
      ->option_text("FILE")
      ->excludes(macro);
  sub->add_flag("--utf8", opt->utf8, "The macro file is UTF-8; convert it to code page 932 first");
  CLI::Option* set = sub->add_option("--set", opt->sets, "Write an external value")
                         ->option_text("NAME=VALUE")
                         ->expected(1)
                         ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                         ->check(CLI::Validator(CheckSet, "NAME=VALUE"));
  CLI::Option* event = sub->add_option("--event", opt->events, "Run the macro from LABEL")
                           ->option_text("LABEL")
                           ->expected(1)
                           ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  sub->add_flag("--lines", opt->lines, "Print each command line the device accepted (escaped form)");
  sub->add_flag("--trace", opt->trace, "Print a trace line for every instruction");
  sub->add_option("--max-steps", opt->maxSteps, "Step budget of each run")
      ->capture_default_str()
      ->check(CLI::Range(1, 1 << 30));
  sub->add_option("--max-lines", opt->maxLines,
                  "Command lines each run may send; a run that fails on 100 lines stops too")
      ->capture_default_str()
      ->check(CLI::Range(1, 1 << 30));
  sub->add_option("--pages", opt->pages, "Write the four video pages as DIR/VRAM0.bmp ... DIR/VRAM3.bmp")
      ->option_text("DIR");
  sub->add_option("--png", opt->png, "Write the display page as a PNG picture")->option_text("FILE");
  CLI::Option* port =
      sub->add_option("--port", opt->port,
                      "Also send every accepted line to the device: none, virtual, ppdev[:/dev/parportN] or\n"
                      "direct[:0x378] (empty: QMT_PORT, else /dev/parport0 when it can be claimed); QMT_PORT\n"
                      "alone turns sending on too")
          ->option_text("PORT");
  sub->add_option("--device-pages", opt->devicePages,
                  "With --port virtual: write the virtual device's pages as DIR/VRAM0.bmp ... DIR/VRAM3.bmp")
      ->option_text("DIR");
  CLI::Option* tick = sub->add_option("--tick", opt->ticks, "Run N ticks of the 33 ms timer (simulated time)")
                          ->option_text("N")
                          ->expected(1)
                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                          ->check(CLI::Range(0, 10000000));
  CLI::Option* slider =
      sub->add_option("--slider", opt->sliders, "Move a slider: rot, level, pres, gang, flow, throttle; 0-1000")
          ->option_text("NAME=VALUE")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->check(CLI::Validator([](std::string& t) { return CheckInput(t, true); }, "NAME=VALUE"));
  CLI::Option* sw =
      sub->add_option("--switch", opt->switches, "Set a sensor panel box by its caption (PTO, SFT1, ...)")
          ->option_text("NAME=0|1")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->check(CLI::Validator([](std::string& t) { return CheckInput(t, false); }, "NAME=0|1"));
  return [opt, sub, set, event, port, tick, slider, sw] {
    opt->portGiven = port->count() > 0;
    // The n-th occurrence of an option in the parse order takes its n-th
    // value.
    std::size_t nextSet = 0;
    std::size_t nextEvent = 0;
    std::size_t nextTick = 0, nextSlider = 0, nextSwitch = 0;
    opt->actions.clear();
    for (const CLI::Option* o : sub->parse_order()) {
      if (o == set && nextSet < opt->sets.size()) {
        opt->actions.push_back({RunAction::Kind::kSet, opt->sets[nextSet++]});
      } else if (o == event && nextEvent < opt->events.size()) {
        opt->actions.push_back({RunAction::Kind::kEvent, opt->events[nextEvent++]});
      } else if (o == tick && nextTick < opt->ticks.size()) {
        opt->actions.push_back({RunAction::Kind::kTick, std::to_string(opt->ticks[nextTick++])});
      } else if (o == slider && nextSlider < opt->sliders.size()) {
        opt->actions.push_back({RunAction::Kind::kSlider, opt->sliders[nextSlider++]});
      } else if (o == sw && nextSwitch < opt->switches.size()) {
        opt->actions.push_back({RunAction::Kind::kSwitch, opt->switches[nextSwitch++]});
      }
    }
    return Run(*opt);
  };
});

}  // namespace
}  // namespace qmt::cli
