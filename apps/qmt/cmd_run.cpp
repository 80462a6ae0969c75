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
#include "host/cell_value.h"
#include "host/config_files.h"
#include "host/data_module.h"
#include "host/page_animation.h"
#include "host/page_files.h"
#include "host/scenario.h"
#include "host/scenario_machine.h"
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
  std::string scenario;  // --scenario: replay this instead of the actions
  std::string gif;       // --gif: an animation of the display page
};

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
  if (!ParseCellValue(std::string_view(text).substr(eq + 1), value)) {
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
  const std::string macroFile = files.MacroFileToRead(), colorFile = files.ColorFileToRead();
  std::error_code ec;
  if (files.firstStart) {
    // An installed program says where its files are once, at its first start.
    PrintError(Utf8ToCp932("note: " + files.note));
  } else if (!files.installed) {
    // A note only for what comes from the configuration folder: files beside
    // the program and the one named by --macro are where the user put them.
    std::vector<std::string> fromConfigDir;
    if (opt.macroFile.empty() && !files.configDir.empty() && macroFile == files.macroFile &&
        std::filesystem::exists(macroFile, ec))
      fromConfigDir.push_back("the macro file " + macroFile);
    if (!files.configDir.empty() && colorFile == files.colorFile && std::filesystem::exists(colorFile, ec))
      fromConfigDir.push_back("the colour file " + colorFile);
    if (!fromConfigDir.empty()) {
      std::string what = fromConfigDir[0] + (fromConfigDir.size() > 1 ? " and " + fromConfigDir[1] : "");
      PrintError(Utf8ToCp932("note: reading " + what + " (the saved copies: the program's folder " +
                             std::filesystem::path(ExecutablePath("qmt")).parent_path().string() +
                             " is not writable)"));
    }
  }
  // An unreadable colour file is treated as an unreadable macro file: it is
  // named, and the built-in list stays.
  if (std::filesystem::exists(colorFile, ec)) {
    try {
      tool.SetColorList(ReadListFile(colorFile));
    } catch (const FileError& e) {
      PrintError(Utf8ToCp932(std::string(e.what()) + "; the built-in colour list is used instead"));
    }
  }
  if (!opt.macroFile.empty()) {
    // The user named it: a file that cannot be read is an error, as a
    // missing one is.
    dm.DataModuleCreate("");
    dm.LoadMacroFile(opt.macroFile, opt.utf8);
  } else {
    std::string problem = dm.DataModuleCreate(macroFile, opt.utf8);
    if (!problem.empty()) PrintError(Utf8ToCp932(problem));
  }
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

void Apply(const RunAction& action, TRunner& runner, Simulator& sim, TickClock& clock, PageAnimation* animation) {
  static const NameTables tables;
  const std::size_t eq = action.text.find('=');
  switch (action.kind) {
    case RunAction::Kind::kSet: {
      std::int16_t value = 0;
      ParseCellValue(std::string_view(action.text).substr(eq + 1), value);
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
      for (int n = std::stoi(action.text); n > 0; --n) {
        sim.Timer1Timer(clock.nowMs += 33);
        if (animation) animation->Add(runner.GetDevice().DisplayPageBytes(), clock.nowMs);
      }
      break;
    }
    case RunAction::Kind::kSlider: {
      sim.SetSlider(*Simulator::SliderByName(action.text.substr(0, eq)), std::stoi(action.text.substr(eq + 1)));
      break;
    }
    case RunAction::Kind::kSwitch: {
      // A click on the sensor panel: the box and its cell change, and the
      // panel's event runs at once.  A box already in that state takes no
      // click.
      const int index = Simulator::SwitchByCaption(action.text.substr(0, eq));
      const bool on = action.text.substr(eq + 1) == "1";
      if (sim.SwitchState(index) == on) break;
      sim.SetSwitch(index, on);
      const SwitchInfo& info = kSwitches[static_cast<std::size_t>(index)];
      if (info.extId >= 0) runner.externals[static_cast<std::size_t>(info.extId)] = on ? 1 : 0;
      const std::string label = std::string("chg") + info.caption;
      if (runner.HasLabel(label)) runner.RunFrom(label);
      break;
    }
  }
}

void WriteOutputs(const RunOptions& opt, TQMT3308& device = Device()) {
  WritePageFiles(device, opt.pages, opt.png);
}

// --scenario: replays the file on a machine of its own, as `qmt test` does.
int RunScenarioFile(const RunOptions& opt, const TScript& script) {
  Scenario scenario;
  try {
    scenario = ReadScenario(opt.scenario);
  } catch (const ScenarioError& e) {
    PrintError(Utf8ToCp932(std::string("qmt run: ") + e.what()));
    return 1;
  }
  CompiledMacro macro{script.Code(), {}};
  script.ListLabels(macro.labels);
  ScenarioMachine machine(macro);
  machine.Runner().stepBudget = opt.maxSteps;
  machine.Runner().lineBudget = opt.maxLines;
  PageAnimation animation;
  ScenarioReport report = RunScenarioOn(machine, scenario, {}, opt.gif.empty() ? nullptr : &animation);
  WriteOutputs(opt, machine.Device());
  if (!opt.gif.empty()) WriteAnimationGif(opt.gif, animation);
  if (report.status == ScenarioReport::Status::kPassed) return 0;
  PrintError(Utf8ToCp932("qmt run: " + opt.scenario + ": " + FailureText(report.failure)));
  return report.status == ScenarioReport::Status::kError ? 1 : 2;
}

int Run(const RunOptions& opt) {
  TScript ownScript;
  HeadlessToolWindow tool;
  TDM dm(tool);
  const TScript& script = opt.macro.empty() ? dm.Script1 : ownScript;
  if (opt.macro.empty() ? !CompileDataModuleMacro(opt, tool, dm) : !CompileMacroFile(opt, ownScript)) return 1;
  if (!opt.scenario.empty()) return RunScenarioFile(opt, script);

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
      std::string problem = link.link->Problem();
      PrintError("qmt run: the device did not take " + EscapeForDisplay(line) + " (port " + link.link->Name() +
                 (problem.empty() ? "" : ": " + problem) + "); no further lines are sent");
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
  PageAnimation animation;
  PageAnimation* gif = opt.gif.empty() ? nullptr : &animation;
  if (runner.LoadImage(script.Code())) {
    runner.RunFrom();
    if (gif) gif->Start(Device().DisplayPageBytes(), 0);
    for (const RunAction& action : opt.actions) Apply(action, runner, sim, clock, gif);
  }
  SetTraceEnabled(false);
  SetTraceWriter(nullptr);
  WriteOutputs(opt);
  if (gif) {
    if (!gif->Started()) gif->Start(Device().DisplayPageBytes(), 0);
    gif->Add(Device().DisplayPageBytes(), clock.nowMs);
    gif->End(clock.nowMs);
    WriteAnimationGif(opt.gif, *gif);
  }
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
      "clicks a sensor panel box: the box and its cell change and the panel's event (chg and the\n"
      "caption, e.g. chgPTO) runs at once; a box already in that state is left alone. --set is the\n"
      "silent way to change a cell: no event runs. The window's inputs overwrite --set values of\n"
      "their cells at every tick. --utf8 applies to MACRO and to --macro FILE. Run messages and device\n"
      "errors go to standard error. Exit status: 1 when the compile failed, 2 when a run reported a\n"
      "message, else 0.");
  auto opt = std::make_shared<RunOptions>();
  CLI::Option* macro =
      sub->add_option("MACRO", opt->macro,
                      "Macro file (code page 932); - reads standard input. Without it the program's own macro runs:\n"
                      "--macro FILE, else the macro file beside the program (when the program's folder is not\n"
                      "writable: the copy saved in $XDG_CONFIG_HOME/qmt3308, else the one shipped beside it), else\n"
                      "the built-in pump-panel macro; the colour file likewise");
  sub->add_option("--macro", opt->macroFile, "The program's macro file, instead of the one beside the program")
      ->option_text("FILE")
      ->excludes(macro);
  sub->add_flag("--utf8", opt->utf8, "The macro file (MACRO or --macro FILE) is UTF-8; convert it to code page 932 first");
  CLI::Option* set = sub->add_option("--set", opt->sets, "Write an external value silently (no event runs)")
                         ->option_text("NAME=VALUE")
                         ->expected(1)
                         ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false)
                         ->check(CLI::Validator(CheckSet, "NAME=VALUE"));
  CLI::Option* event = sub->add_option("--event", opt->events, "Run the macro from LABEL")
                           ->option_text("LABEL")
                           ->expected(1)
                           ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false);
  CLI::Option* lines =
      sub->add_flag("--lines", opt->lines, "Print each command line the device accepted (escaped form)");
  CLI::Option* trace = sub->add_flag("--trace", opt->trace, "Print a trace line for every instruction");
  sub->add_option("--max-steps", opt->maxSteps, "Step budget of each run")
      ->capture_default_str()
      ->check(CLI::Range(1, 1 << 30));
  sub->add_option("--max-lines", opt->maxLines,
                  "Command lines each run may send (refused lines count too)")
      ->capture_default_str()
      ->check(CLI::Range(1, 1 << 30));
  sub->add_option("--pages", opt->pages, "Write the four video pages as DIR/VRAM0.bmp ... DIR/VRAM3.bmp")
      ->option_text("DIR");
  sub->add_option("--png", opt->png, "Write the display page as a PNG picture")->option_text("FILE");
  sub->add_option("--gif", opt->gif,
                  "Write an animated GIF of the display page: one frame per tick that changed it, timed in\n"
                  "simulated time")
      ->option_text("FILE");
  CLI::Option* scenario =
      sub->add_option("--scenario", opt->scenario,
                      "Replay a scenario file (docs/scenarios.md) on a fresh device instead of --set, --event,\n"
                      "--tick, --slider and --switch; exit status 2 when one of its checks failed")
          ->option_text("FILE");
  CLI::Option* port =
      sub->add_option("--port", opt->port,
                      "Also send every accepted line to the device: none, virtual, ppdev[:/dev/parportN],\n"
                      "direct[:0x378], lp:/dev/usb/lp0, tcp:HOST:PORT or file:PATH (empty: QMT_PORT, else\n"
                      "/dev/parport0 when it can be claimed); QMT_PORT alone turns sending on too")
          ->option_text("PORT");
  CLI::Option* devicePages = sub->add_option("--device-pages", opt->devicePages,
                  "With --port virtual: write the virtual device's pages as DIR/VRAM0.bmp ... DIR/VRAM3.bmp")
      ->option_text("DIR");
  CLI::Option* tick = sub->add_option("--tick", opt->ticks, "Run N ticks of the 33 ms timer (simulated time)")
                          ->option_text("N")
                          ->expected(1)
                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false)
                          ->check(CLI::Range(0, 10000000));
  CLI::Option* slider =
      sub->add_option("--slider", opt->sliders, "Move a slider: rot, level, pres, gang, flow, throttle; 0-1000")
          ->option_text("NAME=VALUE")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false)
          ->check(CLI::Validator([](std::string& t) { return CheckInput(t, true); }, "NAME=VALUE"));
  CLI::Option* sw =
      sub->add_option("--switch", opt->switches,
                      "Click a sensor panel box by its caption (PTO, SFT1, ...): its cell changes and its chg event runs")
          ->option_text("NAME=0|1")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false)
          ->check(CLI::Validator([](std::string& t) { return CheckInput(t, false); }, "NAME=0|1"));
  for (CLI::Option* o : {set, event, tick, slider, sw, port, lines, trace, devicePages}) scenario->excludes(o);
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
