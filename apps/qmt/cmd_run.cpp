// qmt run: compiles a macro as qmt compile does, runs it on the device from
// its start, then plays --set, --event, --tick, --slider and --switch in
// command-line order as the steps of a scenario, and writes the pages.
#include <cstdio>
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
#include "host/page_animation.h"
#include "host/page_files.h"
#include "host/program_macro.h"
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

// The scenario step an input option stands for: `qmt run --slider pres=5`
// is the step `slider pres=5`, played by the scenario player.
enum class InputKind { kSet, kEvent, kTick, kSlider, kSwitch };

std::string StepText(InputKind kind, const std::string& value) {
  switch (kind) {
    case InputKind::kSet: return "set " + value;
    case InputKind::kEvent: return "event " + value;
    case InputKind::kTick: return "tick " + value;
    case InputKind::kSlider: return "slider " + value;
    case InputKind::kSwitch: {
      // NAME=0|1 on the command line, `switch NAME 0|1` in a scenario.
      const std::size_t eq = value.find('=');
      return eq == std::string::npos ? "switch " + value : "switch " + value.substr(0, eq) + " " + value.substr(eq + 1);
    }
  }
  return {};
}

// The option's value as a step; "" when fine, else what is wrong.  `--tick
// 0` is no step.
std::string CheckStep(InputKind kind, const std::string& value) {
  if (kind == InputKind::kTick && value == "0") return {};
  if ((kind == InputKind::kSet || kind == InputKind::kSlider || kind == InputKind::kSwitch) &&
      value.find('=') == std::string::npos)
    return "expected NAME=VALUE, got '" + MessageText(value) + "'";
  try {
    ParseScenarioStep(StepText(kind, value));
  } catch (const ScenarioError& e) {
    return e.what();
  }
  return {};
}

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
  std::vector<std::string> ticks;    // --tick N
  std::vector<std::string> sliders;  // --slider NAME=VALUE
  std::vector<std::string> switches; // --switch NAME=0|1
  std::vector<ScenarioStep> steps;   // the inputs, from the parse order
  std::string scenario;  // --scenario: replay this instead of the actions
  std::string gif;       // --gif: an animation of the display page
};

// Compiles the macro; prints the error log and returns false on errors.
bool CompileMacroFile(const RunOptions& opt, TScript& script) {
  const std::vector<std::string> source = SplitLines(ReadInput(opt.macro, opt.utf8, kMacroFileLimit));
  NameTables tables;
  const std::vector<std::string> errors = CompileMacroLines(script, tables, source);
  for (const std::string& e : errors) {
    for (const std::string& line : SplitLines(e)) PrintError(line);
  }
  return errors.empty();
}

// Compiles MACRO, or without it the program's own macro as the simulator
// starts it (ReadProgramMacro); prints the notes and the error log, and
// returns false on errors.
bool CompileRunMacro(const RunOptions& opt, CompiledMacro& out) {
  if (!opt.macro.empty()) {
    TScript script;
    if (!CompileMacroFile(opt, script)) return false;
    out.image = script.Code();
    script.ListLabels(out.labels);
    return true;
  }
  ProgramMacro macro = CompileProgramMacro(ExecutablePath("qmt"), opt.macroFile, opt.utf8);
  if (const ProgramFileProblem* fatal = macro.source.Fatal()) {
    // The reader's sentence is UTF-8 already and may hold what code page 932 cannot.
    std::fprintf(stderr, "qmt run: %s\n", ProblemSentence(*fatal).c_str());
    return false;
  }
  for (const std::string& note : macro.source.Notes()) PrintError(Utf8ToCp932("note: " + note));
  for (const std::string& e : macro.errors) {
    for (const std::string& line : SplitLines(e)) PrintError(line);
  }
  if (!macro.errors.empty()) {
    PrintError(Utf8ToCp932("qmt run: " + macro.source.MacroName() + " has errors"));
    return false;
  }
  out = std::move(macro.compiled);
  return true;
}

// The run as the scenario player sees it: the simulator of the run, the
// global device; lines and messages are the run's own output, not checks.
class RunTarget : public ScenarioTarget {
 public:
  RunTarget(Simulator& model, TRunner& runner) : model_(model), runner_(runner) {}
  Simulator& Model() override { return model_; }
  const TQMT3308& Screen() const override { return Device(); }
  void SetCell(int id, std::int16_t value) override { runner_.externals[static_cast<std::size_t>(id)] = value; }
  std::vector<std::string> TakeLines() override { return {}; }
  std::vector<std::string> TakeMessages() override { return {}; }

 private:
  Simulator& model_;
  TRunner& runner_;
};

void WriteOutputs(const RunOptions& opt, TQMT3308& device = Device()) {
  WritePageFiles(device, opt.pages, opt.png);
}

// --scenario: replays the file on a machine of its own, as `qmt test` does.
int RunScenarioFile(const RunOptions& opt, const CompiledMacro& macro) {
  Scenario scenario;
  try {
    scenario = ReadScenario(opt.scenario);
  } catch (const ScenarioError& e) {
    // A bad scenario is an error, 2, as in qmt test and qmtsim.
    PrintError(Utf8ToCp932(std::string("qmt run: ") + e.what()));
    return 2;
  }
  ScenarioMachine machine(macro);
  machine.Runner().stepBudget = opt.maxSteps;
  machine.Runner().lineBudget = opt.maxLines;
  PageAnimation animation;
  ScenarioReport report = RunScenarioOn(machine, scenario, {}, opt.gif.empty() ? nullptr : &animation);
  WriteOutputs(opt, machine.Device());
  if (!opt.gif.empty()) WriteAnimationGif(opt.gif, animation);
  for (const std::string& w : report.warnings) PrintError(Utf8ToCp932("qmt run: " + opt.scenario + ": warning: " + w));
  if (report.status == ScenarioReport::Status::kPassed) return 0;
  PrintError(Utf8ToCp932("qmt run: " + opt.scenario + ": " + FailureText(report.failure)));
  return 2;
}

int Run(const RunOptions& opt) {
  CompiledMacro macro;
  if (!CompileRunMacro(opt, macro)) return 1;
  if (!opt.scenario.empty()) return RunScenarioFile(opt, macro);

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
      PrintError("qmt run: the device did not take " + ShownLine(line) + " (port " + link.link->Name() +
                 (problem.empty() ? "" : ": " + problem) + "); no further lines are sent");
    }
  };
  runner.stepBudget = opt.maxSteps;
  runner.lineBudget = opt.maxLines;
  runner.labels = macro.labels;
  if (opt.trace) {
    SetTraceWriter([](std::string_view line) { PrintLine(std::string(line)); });
    SetTraceEnabled(true);
  }
  // The window's inputs and timer, driven by the scenario player.
  RunnerPort runnerPort(runner);
  RunnerLabelSource labels(runner);
  Simulator sim({&runnerPort, &labels});
  RunTarget target(sim, runner);
  Scenario inputs;
  inputs.steps = opt.steps;
  ScenarioPlayer player(inputs, target);
  PageAnimation animation;
  PageAnimation* gif = opt.gif.empty() ? nullptr : &animation;
  if (gif) player.onTick = [gif](std::uint64_t ms) { gif->Add(Device().DisplayPageBytes(), ms); };
  if (runner.LoadImage(macro.image)) {
    runner.RunFrom();
    if (gif) gif->Start(Device().DisplayPageBytes(), 0);
    player.Begin();
    while (!player.AtEnd()) player.Step();
  }
  SetTraceEnabled(false);
  SetTraceWriter(nullptr);
  WriteOutputs(opt);
  if (gif) {
    if (!gif->Started()) gif->Start(Device().DisplayPageBytes(), 0);
    gif->Add(Device().DisplayPageBytes(), player.NowMs());
    gif->End(player.NowMs());
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
      "clicks a sensor panel box: the box changes and the panel's event (chg and the caption, e.g.\n"
      "chgPTO) runs after the next tick, as the panel delivers it. --set is the silent way to change\n"
      "a cell: no event runs. The window's inputs overwrite --set values of their cells at every tick.\n"
      "Each option is the scenario step of the same name (docs/scenarios.md), played the same way.\n"
      "--utf8 applies to MACRO and to --macro FILE. Run messages and device\n"
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
                         ->check(CLI::Validator([](std::string& t) { return CheckStep(InputKind::kSet, t); }, "NAME=VALUE"));
  CLI::Option* event = sub->add_option("--event", opt->events, "Run the macro from LABEL")
                           ->option_text("LABEL")
                           ->expected(1)
                           ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                           ->allow_extra_args(false)
                           ->check(CLI::Validator([](std::string& t) { return CheckStep(InputKind::kEvent, t); }, "LABEL"));
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
                          ->check(CLI::Validator([](std::string& t) { return CheckStep(InputKind::kTick, t); }, "N"));
  CLI::Option* slider =
      sub->add_option("--slider", opt->sliders, "Move a slider: " + Simulator::SliderNames() + "; 0-1000")
          ->option_text("NAME=VALUE")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false)
          ->check(CLI::Validator([](std::string& t) { return CheckStep(InputKind::kSlider, t); }, "NAME=VALUE"));
  CLI::Option* sw =
      sub->add_option("--switch", opt->switches,
                      "Click a sensor panel box by its caption (" + Simulator::SwitchNames() +
                          "):\nits chg event runs after the next tick")
          ->option_text("NAME=0|1")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false)
          ->check(CLI::Validator([](std::string& t) { return CheckStep(InputKind::kSwitch, t); }, "NAME=0|1"));
  for (CLI::Option* o : {set, event, tick, slider, sw, port, lines, trace, devicePages}) scenario->excludes(o);
  return [opt, sub, set, event, port, tick, slider, sw] {
    opt->portGiven = port->count() > 0;
    // The n-th occurrence of an option in the parse order takes its n-th
    // value.
    std::size_t nextSet = 0;
    std::size_t nextEvent = 0;
    std::size_t nextTick = 0, nextSlider = 0, nextSwitch = 0;
    opt->steps.clear();
    std::int64_t ticks = 0;
    auto add = [&](InputKind kind, const std::string& value) {
      if (kind == InputKind::kTick && value == "0") return;
      ScenarioStep step = ParseScenarioStep(StepText(kind, value));
      ticks += step.kind == ScenarioStep::Kind::kTick ? step.count : 0;
      opt->steps.push_back(std::move(step));
    };
    for (const CLI::Option* o : sub->parse_order()) {
      if (o == set && nextSet < opt->sets.size()) {
        add(InputKind::kSet, opt->sets[nextSet++]);
      } else if (o == event && nextEvent < opt->events.size()) {
        add(InputKind::kEvent, opt->events[nextEvent++]);
      } else if (o == tick && nextTick < opt->ticks.size()) {
        add(InputKind::kTick, opt->ticks[nextTick++]);
      } else if (o == slider && nextSlider < opt->sliders.size()) {
        add(InputKind::kSlider, opt->sliders[nextSlider++]);
      } else if (o == sw && nextSwitch < opt->switches.size()) {
        add(InputKind::kSwitch, opt->switches[nextSwitch++]);
      }
    }
    if (ticks > kScenarioMaxTicks) {
      PrintError("qmt run: more than " + std::to_string(kScenarioMaxTicks) + " ticks in all");
      return 2;
    }
    return Run(*opt);
  };
});

}  // namespace
}  // namespace qmt::cli
