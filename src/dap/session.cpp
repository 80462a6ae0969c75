#include "dap/session.h"

#include <algorithm>
#include <climits>
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


// An argument the client got wrong: the request fails with this text.
struct ArgumentError {
  std::string message;
};

[[noreturn]] void Refuse(const std::string& name, const std::string& what) {
  throw ArgumentError{"argument '" + name + "' " + what};
}

// An integer argument in [low, high]; `absent` when the client left it out.
// `shown` names it in messages when it is not a top-level argument.
long long IntArgument(const Json& args, const std::string& name, long long low, long long high, long long absent,
                      std::string shown = "") {
  if (shown.empty()) shown = name;
  auto it = args.find(name);
  if (it == args.end() || it->is_null()) return absent;
  if (!it->is_number_integer()) Refuse(shown, "is not an integer");
  if (it->is_number_unsigned() ? it->get<unsigned long long>() > static_cast<unsigned long long>(high)
                               : it->get<long long>() > high)
    Refuse(shown, "is above " + std::to_string(high));
  if (it->get<long long>() < low) Refuse(shown, "is below " + std::to_string(low));
  return it->get<long long>();
}

bool BoolArgument(const Json& args, const std::string& name, bool absent) {
  auto it = args.find(name);
  if (it == args.end() || it->is_null()) return absent;
  if (!it->is_boolean()) Refuse(name, "is not true or false");
  return it->get<bool>();
}

// A string argument, as sent (UTF-8).
std::string StringArgument(const Json& args, const std::string& name, const std::string& absent,
                           const std::string& shown = "") {
  auto it = args.find(name);
  if (it == args.end() || it->is_null()) return absent;
  if (!it->is_string()) Refuse(shown.empty() ? name : shown, "is not a string");
  return it->get<std::string>();
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

// The thread a request names, if it names one: there is only the macro's.
void CheckThread(const Json& args) {
  if (IntArgument(args, "threadId", LLONG_MIN, LLONG_MAX, kThreadId) != kThreadId)
    Refuse("threadId", "names no thread (the macro's is " + std::to_string(kThreadId) + ")");
}

Json SeqOf(const Json& request) {
  if (request.is_object()) {
    auto seq = request.find("seq");
    if (seq != request.end() && seq->is_number_integer()) return *seq;
  }
  return 0;
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
            {"request_seq", SeqOf(request)},
            {"command", request.value("command", std::string())},
            {"success", true}};
  if (!body.is_null()) r["body"] = body;
  send_(r.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Session::Fail(const Json& request, const std::string& message) {
  const Json requestSeq = SeqOf(request);
  std::string command;
  if (request.is_object()) {
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
  } catch (const ArgumentError& e) {
    Fail(request, e.message);
  } catch (const Json::exception& e) {
    // An argument of the wrong type that no check above named.
    Fail(request, std::string("bad arguments: ") + e.what());
  }
}

void Session::Dispatch(const Json& request) {
  // What each request needs before it is handled.
  enum Needs { kNothing, kInitialize, kLaunch };
  struct Entry {
    const char* name;
    Needs needs;
    void (Session::*handler)(const Json&);
  };
  static const Entry kRequests[] = {
      {"initialize", kNothing, &Session::Initialize},
      {"disconnect", kNothing, &Session::Disconnect},
      {"launch", kInitialize, &Session::Launch},
      {"threads", kInitialize, &Session::Threads},
      {"setBreakpoints", kLaunch, &Session::SetBreakpoints},
      {"setExceptionBreakpoints", kLaunch, &Session::SetExceptionBreakpoints},
      {"configurationDone", kLaunch, &Session::ConfigurationDone},
      {"stackTrace", kLaunch, &Session::StackTrace},
      {"scopes", kLaunch, &Session::Scopes},
      {"variables", kLaunch, &Session::Variables},
      {"setVariable", kLaunch, &Session::SetVariable},
      {"evaluate", kLaunch, &Session::Evaluate},
      {"continue", kLaunch, &Session::Control},
      {"next", kLaunch, &Session::Control},
      {"stepIn", kLaunch, &Session::Control},
      {"stepOut", kLaunch, &Session::Control},
      {"pause", kLaunch, &Session::Pause},
  };
  const std::string command = request["command"].get<std::string>();
  const auto entry = std::find_if(std::begin(kRequests), std::end(kRequests),
                                  [&](const Entry& e) { return command == e.name; });
  if (entry == std::end(kRequests)) {
    if (!initialized_) return Fail(request, "'" + command + "' before 'initialize'");
    return Fail(request, "unknown request '" + command + "'");
  }
  if (entry->needs != kNothing && !initialized_) return Fail(request, "'" + command + "' before 'initialize'");
  if (entry->needs == kLaunch && !launched_)
    return Fail(request, "'" + command + "' before a successful 'launch'");
  (this->*entry->handler)(request);
}

void Session::Threads(const Json& request) {
  Respond(request, {{"threads", Json::array({{{"id", kThreadId}, {"name", "macro"}}})}});
}

Json Session::Arguments(const Json& request) {
  auto args = request.find("arguments");
  return args == request.end() || args->is_null() ? Json::object() : *args;
}

void Session::Initialize(const Json& request) {
  if (initialized_) return Fail(request, "'initialize' was already sent");
  const Json args = Arguments(request);
  linesStartAt1_ = BoolArgument(args, "linesStartAt1", true);
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
  const Json args = Arguments(request);
  auto program = args.find("program");
  if (program == args.end() || !program->is_string() || program->get<std::string>().empty())
    return Fail(request, "launch needs 'program', the macro file");
  const bool scenario = args.contains("scenario") && !args["scenario"].is_null();
  // An empty list beside a scenario raises nothing (editors' templates have one).
  const bool hasEvents = args.contains("events") && !args["events"].is_null() &&
                         !(args["events"].is_array() && args["events"].empty());
  if (scenario && hasEvents) {
    return Fail(request, "'events' and 'scenario' cannot be used together: 'events' raises labels, 'scenario' "
                         "replays a scenario's inputs");
  }
  std::deque<std::string> events;
  if (hasEvents) {
    const Json& list = args["events"];
    if (!list.is_array()) return Fail(request, "'events' is not a list of labels");
    for (const Json& e : list) {
      std::string label, error;
      if (!e.is_string()) return Fail(request, "'events' holds something that is not a label");
      if (!TryUtf8ToCp932(e.get<std::string>(), label, error)) return Fail(request, "event " + e.dump() + ": " + error);
      events.push_back(std::move(label));
    }
  }
  const bool utf8 = BoolArgument(args, "utf8", false);
  showLines_ = BoolArgument(args, "showLines", false);
  // "Run without debugging": nothing stops the macro.
  noDebug_ = BoolArgument(args, "noDebug", false);
  const bool stopOnEntry = BoolArgument(args, "stopOnEntry", false) && !noDebug_;
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
    for (const std::string& e : errors) Output("stderr", Cp932ToUtf8(CompileErrorText(e)));
    return Fail(request, "the macro did not compile: " + Cp932ToUtf8(SplitLines(CompileErrorText(errors.front())).front()));
  }
  if (scenario) {
    if (!LoadScenario(request, args)) return;
  } else {
    ownRunner_ = std::make_unique<TRunner>();
    ownRunner_->onMessage = [this](const std::string& message) {
      ++messages_;
      Output("stderr", Cp932ToUtf8(message) + MessageLine());
    };
    ownRunner_->onLine = [this](std::string_view line) {
      if (showLines_) Output("stdout", Cp932ToUtf8(EscapeForDisplay(line)));
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
  const Json args = Arguments(request);
  auto sourceArg = args.find("source");
  if (sourceArg != args.end() && !sourceArg->is_object()) Refuse("source", "is not an object");
  const std::string path = sourceArg == args.end() ? std::string() : StringArgument(*sourceArg, "path", "");
  auto list0 = args.find("breakpoints");
  if (list0 != args.end() && !list0->is_null() && !list0->is_array()) Refuse("breakpoints", "is not a list");
  std::vector<TBreakpointRequest> requests;
  const Json none = Json::array();
  const Json& given = list0 == args.end() || list0->is_null() ? none : *list0;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const Json& b = given[i];
    const std::string at = "breakpoints[" + std::to_string(i) + "].";
    if (!b.is_object()) Refuse("breakpoints[" + std::to_string(i) + "]", "is not an object");
    if (!b.contains("line")) Refuse(at + "line", "is missing");
    // Lines start at the client's first line; the last is as far as a
    // compiled line number reaches.
    const int first = ToClientLine(0);
    TBreakpointRequest r;
    r.line = FromClientLine(static_cast<int>(IntArgument(b, "line", first, INT_MAX - 1, first, at + "line")));
    std::string error;
    const std::string condition = StringArgument(b, "condition", "", at + "condition");
    if (!TryUtf8ToCp932(condition, r.condition, error)) return Fail(request, "condition: " + error);
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
  int id = 0;
  for (const TBreakpoint& b : bound) {
    Json j = {{"id", ++id},
              {"verified", b.verified},
              {"line", ToClientLine(b.verified ? b.line : b.requestedLine)},
              {"source", {{"path", path}}}};
    if (!b.message.empty()) j["message"] = Cp932ToUtf8(b.message);
    list.push_back(std::move(j));
  }
  Respond(request, {{"breakpoints", list}});
}

void Session::SetExceptionBreakpoints(const Json& request) {
  const Json args = Arguments(request);
  bool stop = false;
  auto filters = args.find("filters");
  if (filters != args.end() && !filters->is_array()) Refuse("filters", "is not a list");
  if (filters != args.end())
    for (const Json& f : *filters)
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
  // A run message, or a breakpoint whose condition failed.
  if (!debugger_->StopMessage().empty()) {
    body["description"] = Cp932ToUtf8(debugger_->StopMessage());
    body["text"] = Cp932ToUtf8(debugger_->StopMessage());
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
      Output("console", "event " + Cp932ToUtf8(label) + ": the macro has no such label");
    }
    return;
  }
  End(messages_ > 0 ? 2 : 0);
}

std::string Session::CompileErrorText(const std::string& error) const {
  // The compiler's "nnn,text" counts lines from 0; the client sees its own lines.
  std::size_t i = error.find_first_not_of(' ');
  std::size_t end = i == std::string::npos ? i : error.find_first_not_of("0123456789", i);
  if (end == std::string::npos || end == i || end - i > 6 || error[end] != ',') return error;
  const int line = std::stoi(error.substr(i, end - i));
  return "line " + std::to_string(ToClientLine(line)) + ": " + error.substr(end + 1);
}

std::string Session::MessageLine() const {
  if (!runner_ || !debugger_) return std::string();
  // The machine's PC has passed the first byte of the instruction that failed.
  const int line = debugger_->Info().LineOf(static_cast<std::uint16_t>(runner_->Context().machine.PC - 1));
  return line < 0 ? std::string() : " (line " + std::to_string(ToClientLine(line)) + ")";
}

void Session::End(int exitCode) {
  ended_ = true;
  Event("exited", {{"exitCode", exitCode}});
  Event("terminated", Json());
}

void Session::Control(const Json& request) {
  const std::string command = request["command"].get<std::string>();
  CheckThread(Arguments(request));
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
  CheckThread(Arguments(request));
  if (noDebug_) return Fail(request, "the macro runs without debugging: it cannot be paused");
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

int Session::HeldFrame(const Json& args, bool required) {
  if (!debugger_->Held()) throw ArgumentError{"no frame: the macro is not stopped"};
  const long long id = IntArgument(args, "frameId", 1, INT_MAX, required ? 0 : 1);
  if (id == 0) Refuse("frameId", "is missing");
  if (id > static_cast<long long>(debugger_->StackTrace().size())) throw ArgumentError{"no such frame"};
  return static_cast<int>(id - 1);
}

void Session::StackTrace(const Json& request) {
  const Json args = Arguments(request);
  CheckThread(args);
  const long long startFrame = IntArgument(args, "startFrame", 0, INT_MAX, 0);
  const long long levels = IntArgument(args, "levels", 0, INT_MAX, 0);
  Json frames = Json::array();
  if (debugger_->Held()) {
    const std::vector<TStackFrame> stack = debugger_->StackTrace();
    const std::string name = std::filesystem::path(program_).filename().string();
    for (std::size_t i = 0; i < stack.size(); ++i) {
      frames.push_back({{"id", static_cast<int>(i) + 1},
                        {"name", stack[i].name.empty() ? std::string("(macro)") : Cp932ToUtf8(stack[i].name)},
                        {"line", ToClientLine(std::max(stack[i].line, 0))},
                        {"column", 1},
                        {"source", {{"name", name}, {"path", program_}}}});
    }
  }
  const long long total = static_cast<long long>(frames.size());
  const long long start = std::min(startFrame, total);
  Json page = Json::array();
  for (long long i = start; i < total && (levels <= 0 || i < start + levels); ++i)
    page.push_back(frames[static_cast<std::size_t>(i)]);
  Respond(request, {{"stackFrames", page}, {"totalFrames", total}});
}

void Session::Scopes(const Json& request) {
  const Json args = Arguments(request);
  const int frame = HeldFrame(args, true);
  Respond(request, {{"scopes", Json::array({
                                   {{"name", "Locals"}, {"variablesReference", Reference(frame, kLocals)}, {"expensive", false}},
                                   {{"name", "Arguments"}, {"variablesReference", Reference(frame, kArguments)}, {"expensive", false}},
                                   {{"name", "Externals"}, {"variablesReference", Reference(frame, kExternals)}, {"expensive", false}},
                               })}});
}

void Session::Variables(const Json& request) {
  const Json args = Arguments(request);
  const int reference = static_cast<int>(IntArgument(args, "variablesReference", 1, INT_MAX, 0));
  const int frame = (reference - 1) / 3;
  if (reference == 0 || !debugger_->Held() || frame >= static_cast<int>(debugger_->StackTrace().size()))
    return Fail(request, "no such variables reference while the macro is " +
                             std::string(debugger_->Held() ? "stopped" : "not stopped"));
  const auto scope = static_cast<Scope>((reference - 1) % 3);
  std::vector<TVariable> list = scope == kLocals      ? debugger_->Locals()
                                : scope == kArguments ? debugger_->Arguments(frame)
                                                      : debugger_->Externals();
  Json out = Json::array();
  for (const TVariable& v : list) {
    const std::string name = Cp932ToUtf8(v.name);
    out.push_back({{"name", name}, {"value", std::to_string(v.value)}, {"variablesReference", 0}, {"evaluateName", name}});
  }
  Respond(request, {{"variables", out}});
}

void Session::SetVariable(const Json& request) {
  const Json args = Arguments(request);
  const int reference = static_cast<int>(IntArgument(args, "variablesReference", 1, INT_MAX, 0));
  if (!debugger_->Held()) return Fail(request, "'setVariable' while the macro is not stopped");
  std::string name, value, error;
  if (!Cp932Argument(args, "name", name, error) || !Cp932Argument(args, "value", value, error))
    return Fail(request, error);
  const int frame = reference > 0 ? (reference - 1) / 3 : 0;
  if (frame >= static_cast<int>(debugger_->StackTrace().size())) return Fail(request, "no such variables reference");
  std::int16_t stored = 0;
  if (!debugger_->SetVariable(name, value, stored, error, frame)) return Fail(request, Cp932ToUtf8(error));
  Respond(request, {{"value", std::to_string(stored)}, {"variablesReference", 0}});
}

void Session::Evaluate(const Json& request) {
  const Json args = Arguments(request);
  std::string expression, error;
  if (!Cp932Argument(args, "expression", expression, error)) return Fail(request, error);
  const int frame = HeldFrame(args, false);
  std::int16_t value = 0;
  if (!debugger_->Evaluate(expression, value, error, frame)) return Fail(request, Cp932ToUtf8(error));
  Respond(request, {{"result", std::to_string(value)}, {"variablesReference", 0}});
}

}  // namespace qmt::dap
