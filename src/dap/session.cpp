#include "dap/session.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "compiler/script.h"
#include "device/escape.h"
#include "host/debug_binding.h"
#include "host/macro_compile.h"
#include "host/name_tables.h"
#include "host/scenario_replay.h"
#include "runtime/debugger.h"
#include "runtime/runner.h"
#include "support/encoding.h"
#include "support/file_io.h"

namespace qmt::dap {
namespace {

using Json = nlohmann::json;

constexpr int kThreadId = 1;
// A variables reference names a frame and one of its three scopes.
enum Scope { kLocals = 0, kArguments = 1, kExternals = 2 };
int Reference(int frame, Scope scope) { return frame * 3 + scope + 1; }

const char* ReasonName(TStopReason reason) {
  switch (reason) {
    case TStopReason::kBreakpoint: return "breakpoint";
    case TStopReason::kStep: return "step";
    case TStopReason::kPause: return "pause";
    case TStopReason::kEntry: return "entry";
    case TStopReason::kException: return "exception";
    case TStopReason::kNone: break;
  }
  return "pause";
}

std::string Utf8(const std::string& cp932) {
  try {
    return Cp932ToUtf8(cp932);
  } catch (const std::exception&) {
    return EscapeForDisplay(cp932);
  }
}

// A string argument in code page 932; false when it is missing or cannot be
// converted (then `error` says why).
bool Cp932Argument(const Json& args, const char* name, std::string& out, std::string& error) {
  auto it = args.find(name);
  if (it == args.end() || !it->is_string()) {
    error = std::string("argument '") + name + "' is missing or not a string";
    return false;
  }
  return TryUtf8ToCp932(it->get<std::string>(), out, error);
}

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec1, ec2;
  const auto pa = std::filesystem::weakly_canonical(a, ec1);
  const auto pb = std::filesystem::weakly_canonical(b, ec2);
  if (ec1 || ec2) return a == b;
  return pa == pb;
}

}  // namespace

Session::Session(std::function<void(const std::string& body)> send) : send_(std::move(send)) {}

Session::~Session() = default;

// --- sending ---------------------------------------------------------------

void Session::Respond(const Json& request, const Json& body) {
  Json r = {{"seq", ++seq_},
            {"type", "response"},
            {"request_seq", request.value("seq", 0)},
            {"command", request.value("command", std::string())},
            {"success", true}};
  if (!body.is_null()) r["body"] = body;
  send_(r.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Session::Fail(const Json& request, const std::string& message) {
  int requestSeq = 0;
  std::string command;
  if (request.is_object()) {
    auto seq = request.find("seq");
    if (seq != request.end() && seq->is_number_integer()) requestSeq = seq->get<int>();
    auto cmd = request.find("command");
    if (cmd != request.end() && cmd->is_string()) command = cmd->get<std::string>();
  }
  Json r = {{"seq", ++seq_},       {"type", "response"}, {"request_seq", requestSeq},
            {"command", command},  {"success", false},   {"message", message},
            {"body", {{"error", {{"id", 1}, {"format", message}, {"showUser", true}}}}}};
  send_(r.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Session::Event(const std::string& event, const Json& body) {
  Json e = {{"seq", ++seq_}, {"type", "event"}, {"event", event}};
  if (!body.is_null()) e["body"] = body;
  send_(e.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Session::Output(const std::string& category, const std::string& utf8) {
  Event("output", {{"category", category}, {"output", utf8 + "\n"}});
}

void Session::FramingError(const std::string& text) { Fail(Json(), "bad message: " + text); }

// --- receiving -------------------------------------------------------------

void Session::Handle(std::string_view body) {
  Json request;
  try {
    request = Json::parse(body);
  } catch (const Json::exception& e) {
    Fail(Json(), std::string("bad JSON: ") + e.what());
    return;
  }
  if (!request.is_object() || request.value("type", Json()) != "request") {
    Fail(request.is_object() ? request : Json(), "not a request");
    return;
  }
  auto seq = request.find("seq");
  auto command = request.find("command");
  if (seq == request.end() || !seq->is_number_integer() || command == request.end() || !command->is_string()) {
    Fail(request, "a request needs an integer 'seq' and a string 'command'");
    return;
  }
  auto args = request.find("arguments");
  if (args != request.end() && !args->is_object()) {
    Fail(request, "'arguments' is not an object");
    return;
  }
  try {
    Dispatch(request);
  } catch (const Json::exception& e) {
    // An argument of the wrong type.
    Fail(request, std::string("bad arguments: ") + e.what());
  }
}

void Session::Dispatch(const Json& request) {
  const std::string command = request["command"].get<std::string>();
  if (command == "initialize") return Initialize(request);
  if (command == "disconnect") return Disconnect(request);
  if (!initialized_) return Fail(request, "'" + command + "' before 'initialize'");
  if (command == "launch") return Launch(request);
  if (command == "threads") {
    return Respond(request, {{"threads", Json::array({{{"id", kThreadId}, {"name", "macro"}}})}});
  }
  static const char* const kKnown[] = {"setBreakpoints", "setExceptionBreakpoints", "configurationDone",
                                       "stackTrace",     "scopes",                  "variables",
                                       "setVariable",    "evaluate",                "continue",
                                       "next",           "stepIn",                  "stepOut",
                                       "pause"};
  if (std::find(std::begin(kKnown), std::end(kKnown), command) == std::end(kKnown))
    return Fail(request, "unknown request '" + command + "'");
  if (!launched_) return Fail(request, "'" + command + "' before a successful 'launch'");
  if (command == "setBreakpoints") return SetBreakpoints(request);
  if (command == "setExceptionBreakpoints") return SetExceptionBreakpoints(request);
  if (command == "configurationDone") return ConfigurationDone(request);
  if (command == "stackTrace") return StackTrace(request);
  if (command == "scopes") return Scopes(request);
  if (command == "variables") return Variables(request);
  if (command == "setVariable") return SetVariable(request);
  if (command == "evaluate") return Evaluate(request);
  if (command == "pause") return Pause(request);
  Control(request, command);
}

void Session::Initialize(const Json& request) {
  if (initialized_) return Fail(request, "'initialize' was already sent");
  const Json args = request.value("arguments", Json::object());
  linesStartAt1_ = args.value("linesStartAt1", true);
  initialized_ = true;
  Respond(request, {{"supportsConfigurationDoneRequest", true},
                    {"supportsConditionalBreakpoints", true},
                    {"supportsSetVariable", true},
                    {"supportsEvaluateForHovers", true},
                    {"exceptionBreakpointFilters",
                     Json::array({{{"filter", "message"},
                                   {"label", "Run messages"},
                                   {"description", "Stop where a run stops with a run message"},
                                   {"default", true}}})}});
}

void Session::Launch(const Json& request) {
  if (launched_) return Fail(request, "the program was already launched");
  const Json args = request.value("arguments", Json::object());
  auto program = args.find("program");
  if (program == args.end() || !program->is_string() || program->get<std::string>().empty())
    return Fail(request, "launch needs 'program', the macro file");
  const bool scenario = args.contains("scenario") && !args["scenario"].is_null();
  if (scenario && args.contains("events")) {
    return Fail(request, "'events' and 'scenario' cannot be used together: 'events' raises labels, 'scenario' "
                         "replays a scenario's inputs");
  }
  std::deque<std::string> events;
  if (args.contains("events")) {
    const Json& list = args["events"];
    if (!list.is_array()) return Fail(request, "'events' is not a list of labels");
    for (const Json& e : list) {
      std::string label, error;
      if (!e.is_string()) return Fail(request, "'events' holds something that is not a label");
      if (!TryUtf8ToCp932(e.get<std::string>(), label, error)) return Fail(request, "event " + e.dump() + ": " + error);
      events.push_back(std::move(label));
    }
  }
  const bool utf8 = args.value("utf8", false);
  showLines_ = args.value("showLines", false);
  // "Run without debugging": nothing stops the macro.
  noDebug_ = args.value("noDebug", false);
  const bool stopOnEntry = args.value("stopOnEntry", false) && !noDebug_;
  program_ = program->get<std::string>();

  std::string text;
  try {
    text = ReadFile(program_);
    if (utf8) text = Utf8ToCp932(WithoutUtf8Bom(text));
  } catch (const std::exception& e) {
    return Fail(request, e.what());
  }
  tables_ = std::make_unique<NameTables>();
  script_ = std::make_unique<TScript>();
  spare_ = std::make_unique<TScript>();
  const std::vector<std::string> errors = CompileMacroLines(*script_, *tables_, SplitLines(text));
  if (!errors.empty()) {
    for (const std::string& e : errors) Output("stderr", Utf8(e));
    return Fail(request, "the macro did not compile: " + Utf8(SplitLines(errors.front()).front()));
  }
  if (scenario) {
    if (!LoadScenario(request, args)) return;
  } else {
    ownRunner_ = std::make_unique<TRunner>();
    ownRunner_->onMessage = [this](const std::string& message) {
      ++messages_;
      Output("stderr", Utf8(message));
    };
    ownRunner_->onLine = [this](std::string_view line) {
      if (showLines_) Output("stdout", Utf8(EscapeForDisplay(line)));
    };
    script_->ListLabels(ownRunner_->labels);
    if (!ownRunner_->LoadImage(script_->Code())) return Fail(request, "the macro's P-code does not fit the code area");
    runner_ = ownRunner_.get();
  }
  debugger_ = std::make_unique<TDebugger>(*runner_);
  BindDebugger(*debugger_, *script_, *spare_, *tables_);
  if (replay_) StartReplay();
  debugger_->stopOnMessage = !noDebug_;
  debugger_->onStopped = [this](TStopReason reason) { OnStopped(static_cast<int>(reason)); };
  if (stopOnEntry) debugger_->StopOnEntry();
  events_ = std::move(events);
  launched_ = true;
  Respond(request, Json());
  // Breakpoints can be bound now.
  Event("initialized", Json());
}

void Session::SetBreakpoints(const Json& request) {
  const Json args = request.value("arguments", Json::object());
  const Json source = args.value("source", Json::object());
  const std::string path = source.value("path", std::string());
  std::vector<TBreakpointRequest> requests;
  for (const Json& b : args.value("breakpoints", Json::array())) {
    TBreakpointRequest r;
    r.line = FromClientLine(b.at("line").get<int>());
    std::string error;
    if (b.contains("condition") && !TryUtf8ToCp932(b["condition"].get<std::string>(), r.condition, error))
      return Fail(request, "condition: " + error);
    requests.push_back(std::move(r));
  }
  Json list = Json::array();
  if (noDebug_ || !SamePath(path, program_)) {
    for (const TBreakpointRequest& r : requests) {
      list.push_back({{"verified", false},
                      {"line", ToClientLine(r.line)},
                      {"message", noDebug_ ? "running without debugging" : "not the launched macro"}});
    }
    return Respond(request, {{"breakpoints", list}});
  }
  const std::vector<TBreakpoint>& bound = debugger_->SetBreakpoints(requests);
  breakpoints_ = std::move(requests);
  int id = 0;
  for (const TBreakpoint& b : bound) {
    Json j = {{"id", ++id},
              {"verified", b.verified},
              {"line", ToClientLine(b.verified ? b.line : b.requestedLine)},
              {"source", {{"path", path}}}};
    if (!b.message.empty()) j["message"] = Utf8(b.message);
    list.push_back(std::move(j));
  }
  Respond(request, {{"breakpoints", list}});
}

void Session::SetExceptionBreakpoints(const Json& request) {
  const Json args = request.value("arguments", Json::object());
  bool stop = false;
  for (const Json& f : args.value("filters", Json::array()))
    if (f.is_string() && f.get<std::string>() == "message") stop = true;
  debugger_->stopOnMessage = stop && !noDebug_;
  Respond(request, Json());
}

void Session::ConfigurationDone(const Json& request) {
  configured_ = true;
  Respond(request, Json());
}

void Session::OnStopped(int reason) {
  Json body = {{"reason", ReasonName(static_cast<TStopReason>(reason))},
               {"threadId", kThreadId},
               {"allThreadsStopped", true}};
  if (static_cast<TStopReason>(reason) == TStopReason::kException) {
    body["description"] = Utf8(debugger_->StopMessage());
    body["text"] = Utf8(debugger_->StopMessage());
  }
  Event("stopped", body);
}

// --- running ---------------------------------------------------------------

bool Session::HasWork() const {
  return launched_ && configured_ && !ended_ && !finished_ && !debugger_->Held();
}

void Session::DoWork() {
  if (!HasWork()) return;
  if (replay_) return ReplayWork();
  if (!started_) {
    started_ = true;
    runner_->RunFrom();
    return;
  }
  if (!events_.empty()) {
    const std::string label = std::move(events_.front());
    events_.pop_front();
    // As the window raises events: a label the macro lacks is no event.
    if (runner_->HasLabel(label)) {
      runner_->RunFrom(label);
    } else {
      Output("console", "event " + Utf8(label) + ": the macro has no such label");
    }
    return;
  }
  End(messages_ > 0 ? 2 : 0);
}

void Session::End(int exitCode) {
  ended_ = true;
  Event("exited", {{"exitCode", exitCode}});
  Event("terminated", Json());
}

void Session::Control(const Json& request, const std::string& command) {
  if (!debugger_->Held()) return Fail(request, "'" + command + "' while the macro is not stopped");
  Respond(request, command == "continue" ? Json{{"allThreadsContinued", true}} : Json());
  if (command == "continue") {
    debugger_->Continue();
  } else if (command == "next") {
    debugger_->StepOver();
  } else if (command == "stepIn") {
    debugger_->StepInto();
  } else {
    debugger_->StepOut();
  }
}

void Session::Pause(const Json& request) {
  Respond(request, Json());
  // Between two runs: the next one stops at its first statement.
  if (!debugger_->Held()) debugger_->Pause();
}

void Session::Disconnect(const Json& request) {
  if (debugger_) debugger_->Stop();
  finished_ = true;
  Respond(request, Json());
}

void Session::ClientGone() {
  if (debugger_) debugger_->Stop();
  finished_ = true;
}

// --- inspection ------------------------------------------------------------

void Session::StackTrace(const Json& request) {
  Json frames = Json::array();
  if (debugger_->Held()) {
    const std::vector<TStackFrame> stack = debugger_->StackTrace();
    const std::string name = std::filesystem::path(program_).filename().string();
    for (std::size_t i = 0; i < stack.size(); ++i) {
      frames.push_back({{"id", static_cast<int>(i) + 1},
                        {"name", stack[i].name.empty() ? std::string("(macro)") : Utf8(stack[i].name)},
                        {"line", ToClientLine(std::max(stack[i].line, 0))},
                        {"column", 1},
                        {"source", {{"name", name}, {"path", program_}}}});
    }
  }
  const int total = static_cast<int>(frames.size());
  const Json args = request.value("arguments", Json::object());
  const int start = std::clamp(args.value("startFrame", 0), 0, total);
  const int levels = args.value("levels", 0);
  Json page = Json::array();
  for (int i = start; i < total && (levels <= 0 || i < start + levels); ++i) page.push_back(frames[i]);
  Respond(request, {{"stackFrames", page}, {"totalFrames", total}});
}

void Session::Scopes(const Json& request) {
  const Json args = request.value("arguments", Json::object());
  const int frame = args.value("frameId", 0) - 1;
  if (!debugger_->Held() || frame < 0 || frame >= static_cast<int>(debugger_->StackTrace().size()))
    return Fail(request, "no such frame");
  Respond(request, {{"scopes", Json::array({
                                   {{"name", "Locals"}, {"variablesReference", Reference(frame, kLocals)}, {"expensive", false}},
                                   {{"name", "Arguments"}, {"variablesReference", Reference(frame, kArguments)}, {"expensive", false}},
                                   {{"name", "Externals"}, {"variablesReference", Reference(frame, kExternals)}, {"expensive", false}},
                               })}});
}

void Session::Variables(const Json& request) {
  const Json args = request.value("arguments", Json::object());
  const int reference = args.value("variablesReference", 0);
  if (reference <= 0) return Fail(request, "no such variables reference");
  const int frame = (reference - 1) / 3;
  const auto scope = static_cast<Scope>((reference - 1) % 3);
  std::vector<TVariable> list = scope == kLocals      ? debugger_->Locals()
                                : scope == kArguments ? debugger_->Arguments(frame)
                                                      : debugger_->Externals();
  Json out = Json::array();
  for (const TVariable& v : list) {
    const std::string name = Utf8(v.name);
    out.push_back({{"name", name}, {"value", std::to_string(v.value)}, {"variablesReference", 0}, {"evaluateName", name}});
  }
  Respond(request, {{"variables", out}});
}

void Session::SetVariable(const Json& request) {
  const Json args = request.value("arguments", Json::object());
  const int reference = args.value("variablesReference", 0);
  std::string name, value, error;
  if (!Cp932Argument(args, "name", name, error) || !Cp932Argument(args, "value", value, error))
    return Fail(request, error);
  const int frame = reference > 0 ? (reference - 1) / 3 : 0;
  std::int16_t stored = 0;
  if (!debugger_->SetVariable(name, value, stored, error, frame)) return Fail(request, Utf8(error));
  Respond(request, {{"value", std::to_string(stored)}, {"variablesReference", 0}});
}

void Session::Evaluate(const Json& request) {
  const Json args = request.value("arguments", Json::object());
  std::string expression, error;
  if (!Cp932Argument(args, "expression", expression, error)) return Fail(request, error);
  const int frame = std::max(args.value("frameId", 1) - 1, 0);
  std::int16_t value = 0;
  if (!debugger_->Evaluate(expression, value, error, frame)) return Fail(request, Utf8(error));
  Respond(request, {{"result", std::to_string(value)}, {"variablesReference", 0}});
}

}  // namespace qmt::dap
