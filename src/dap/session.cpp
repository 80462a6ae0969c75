#include "dap/session.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <nlohmann/json.hpp>

#include "device/escape.h"
#include "host/macro_compile.h"
#include "host/program_host.h"
#include "runtime/debugger.h"
#include "support/encoding.h"

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
    case TStopReason::kDataBreakpoint: return "data breakpoint";
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

// The request's "breakpoints": a list of objects, each checked here.  An
// absent or null list is empty when `optional`.
const nlohmann::json& BreakpointList(const nlohmann::json& args, bool optional) {
  static const nlohmann::json none = nlohmann::json::array();
  auto list = args.find("breakpoints");
  if (optional && (list == args.end() || list->is_null())) return none;
  if (list == args.end() || !list->is_array()) Refuse("breakpoints", "is not a list");
  for (std::size_t i = 0; i < list->size(); ++i)
    if (!(*list)[i].is_object()) Refuse("breakpoints[" + std::to_string(i) + "]", "is not an object");
  return *list;
}

// Running without debugging, each breakpoint is answered as never bound.
nlohmann::json NotDebugging(std::size_t count) {
  nlohmann::json out = nlohmann::json::array();
  for (std::size_t i = 0; i < count; ++i) out.push_back({{"verified", false}, {"message", "running without debugging"}});
  return {{"breakpoints", out}};
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

// A code address as the client sees it: "0x01A2".
std::string Address(std::uint16_t pc) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", pc);
  return text;
}

// A memory reference the client got from Address (or a plain number).
long long AddressArgument(const Json& args, const std::string& name) {
  const std::string text = StringArgument(args, name, "");
  if (text.empty()) Refuse(name, "is missing");
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value < 0 || value > 0xFFFF) Refuse(name, "is not a code address (0x0000 to 0xFFFF)");
  return value;
}

// A breakpoint's text setting (condition, hit condition, log message) in
// code page 932.  One that is not a string, or that code page 932 cannot
// hold, refuses its breakpoint alone: `why` says so.
bool BreakpointText(const Json& b, const char* name, std::string& out, std::string& why) {
  out.clear();
  auto it = b.find(name);
  if (it == b.end() || it->is_null()) return true;
  std::string error = "is not a string";
  if (it->is_string() && TryUtf8ToCp932(it->get<std::string>(), out, error)) return true;
  // The place in a one-line text is no line of the macro: it is left out.
  if (const std::size_t at = error.rfind(" (line 1)");
      it->is_string() && at != std::string::npos && it->get<std::string>().find('\n') == std::string::npos)
    error.resize(at);
  why = std::string(name) + ": " + error;
  return false;
}

// The bytes of a macro file as they are now; nothing when it is not a
// regular file or is larger than any macro.
std::optional<std::string> FileBytes(const std::string& path) {
  constexpr std::uintmax_t kLargest = 16 << 20;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kLargest) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || bytes.size() > kLargest) return std::nullopt;
  return bytes;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec1, ec2;
  const auto pa = std::filesystem::weakly_canonical(a, ec1);
  const auto pb = std::filesystem::weakly_canonical(b, ec2);
  if (ec1 || ec2) return a == b;
  return pa == pb;
}

}  // namespace

Session::Session(std::function<void(const std::string& body)> send, std::string toolPath)
    : send_(std::move(send)), toolPath_(std::move(toolPath)) {}

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

void Session::Unanswerable(const std::string& text) {
  // No request to answer: a response would name none, so the client hears
  // of it on its console.
  Output("console", "qmt dap: a message from the client was not read: " + text);
}

void Session::FramingError(const std::string& text) { Unanswerable("bad message: " + text); }

// --- receiving -------------------------------------------------------------

namespace {

// The seq and command of a request whose JSON is broken, where they can
// still be read; a null seq when they cannot.
nlohmann::json SalvagedRequest(std::string_view body) {
  static const std::regex seq(R"re("seq"\s*:\s*([0-9]{1,15})\s*[,}])re");
  static const std::regex command(R"re("command"\s*:\s*"([A-Za-z]{1,64})")re");
  const std::string text(body.substr(0, 4096));
  std::smatch s, c;
  if (!std::regex_search(text, s, seq)) return nlohmann::json();
  nlohmann::json request = {{"seq", std::stoll(s[1].str())}};
  if (std::regex_search(text, c, command)) request["command"] = c[1].str();
  return request;
}

}  // namespace

void Session::Handle(std::string_view body) {
  Json request;
  try {
    request = Json::parse(body);
  } catch (const Json::exception& e) {
    const Json salvaged = SalvagedRequest(body);
    const std::string text = std::string("bad JSON: ") + e.what();
    return salvaged.is_null() ? Unanswerable(text) : Fail(salvaged, text);
  }
  // Without an integer seq there is no request to answer.
  auto seq = request.is_object() ? request.find("seq") : request.end();
  if (!request.is_object() || seq == request.end() || !seq->is_number_integer()) {
    Unanswerable(request.is_object() ? std::string("a request needs an integer 'seq'")
                                     : std::string("not a request but a JSON ") + request.type_name());
    return;
  }
  if (request.value("type", Json()) != "request") {
    Fail(request, "not a request");
    return;
  }
  auto command = request.find("command");
  if (command == request.end() || !command->is_string()) {
    Fail(request, "a request needs a string 'command'");
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
      {"disassemble", kLaunch, &Session::Disassemble},
      {"dataBreakpointInfo", kLaunch, &Session::DataBreakpointInfo},
      {"setDataBreakpoints", kLaunch, &Session::SetDataBreakpoints},
      {"setInstructionBreakpoints", kLaunch, &Session::SetInstructionBreakpoints},
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
  columnsStartAt1_ = BoolArgument(args, "columnsStartAt1", true);
  initialized_ = true;
  Respond(request, {{"supportsConfigurationDoneRequest", true},
                    {"supportsConditionalBreakpoints", true},
                    {"supportsSetVariable", true},
                    {"supportsEvaluateForHovers", true},
                    {"supportsHitConditionalBreakpoints", true},
                    {"supportsLogPoints", true},
                    {"supportsSteppingGranularity", true},
                    {"supportsInstructionBreakpoints", true},
                    {"supportsDisassembleRequest", true},
                    {"supportsDataBreakpoints", true},
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
  ProgramLaunch launch;
  launch.toolPath = toolPath_;
  if (hasEvents) {
    const Json& list = args["events"];
    if (!list.is_array()) return Fail(request, "'events' is not a list of labels");
    for (const Json& e : list) {
      std::string label, error;
      if (!e.is_string()) return Fail(request, "'events' holds something that is not a label");
      if (!TryUtf8ToCp932(e.get<std::string>(), label, error)) return Fail(request, "event " + e.dump() + ": " + error);
      launch.events.push_back(std::move(label));
    }
  }
  if (scenario) {
    const Json& file = args["scenario"];
    if (!file.is_string() || file.get<std::string>().empty())
      return Fail(request, "'scenario' is not the name of a scenario file");
    launch.scenario = file.get<std::string>();
  }
  launch.utf8 = BoolArgument(args, "utf8", false);
  showLines_ = BoolArgument(args, "showLines", false);
  // "Run without debugging": nothing stops the macro.
  noDebug_ = launch.noDebug = BoolArgument(args, "noDebug", false);
  launch.stopOnEntry = BoolArgument(args, "stopOnEntry", false);
  program_ = launch.program = program->get<std::string>();

  auto host = std::make_unique<ProgramHost>();
  host->onOutput = [this](ProgramHost::Stream stream, const std::string& text) {
    Output(stream == ProgramHost::Stream::kStdout   ? "stdout"
           : stream == ProgramHost::Stream::kStderr ? "stderr"
                                                    : "console",
           text);
  };
  host->onRunMessage = [this](const std::string& message, int line) {
    LineOutput("stderr", Cp932ToUtf8(message) + MessageLine(line), line);
  };
  host->onLine = [this](const std::string& line) {
    if (showLines_) Output("stdout", Cp932ToUtf8(EscapeForDisplay(line)));
  };
  host->onStopped = [this](TStopReason reason) { OnStopped(static_cast<int>(reason)); };
  host->onEnded = [this](int exitCode) {
    Event("exited", {{"exitCode", exitCode}});
    Event("terminated", Json());
  };
  std::string error;
  std::vector<std::string> errors;
  if (!host->Launch(launch, error, errors)) {
    if (errors.empty()) return Fail(request, error);
    // Each error with its line as the editor shows it, and as the client
    // counts lines in the event's "line".
    auto text = [](const CompileError& e) {
      return e.line < 0 ? e.text : "line " + std::to_string(e.line + 1) + ": " + e.text;
    };
    for (const std::string& e : errors) {
      const CompileError read = ReadCompileError(e);
      LineOutput("stderr", Cp932ToUtf8(text(read)), read.line);
    }
    CompileError first = ReadCompileError(errors.front());
    first.text = SplitLines(first.text).front();
    return Fail(request, "the macro did not compile: " + Cp932ToUtf8(text(first)));
  }
  host_ = std::move(host);
  // What was compiled, to see later whether the file was edited since.
  launchedBytes_ = FileBytes(program_);
  // A log point's line goes to the debug console, at its place in the macro.
  host_->Debugger().onLog = [this](const std::string& text, int line) {
    Event("output", {{"category", "console"},
                     {"output", Cp932ToUtf8(text) + "\n"},
                     {"source", {{"path", program_}}},
                     {"line", ToClientLine(line)}});
  };
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
  const Json& given = BreakpointList(args, true);
  std::vector<TBreakpointRequest> requests;
  std::vector<int> lines;           // each breakpoint's line (from 0)
  std::vector<std::string> refused;  // why it is not set, empty when it is
  for (std::size_t i = 0; i < given.size(); ++i) {
    const Json& b = given[i];
    const std::string at = "breakpoints[" + std::to_string(i) + "].";
    if (!b.contains("line")) Refuse(at + "line", "is missing");
    // Lines start at the client's first line; the last is as far as a
    // compiled line number reaches.
    const int first = ToClientLine(0);
    TBreakpointRequest r;
    r.line = FromClientLine(static_cast<int>(IntArgument(b, "line", first, INT_MAX - 1, first, at + "line")));
    lines.push_back(r.line);
    std::string why;
    if (BreakpointText(b, "condition", r.condition, why) && BreakpointText(b, "hitCondition", r.hitCondition, why))
      BreakpointText(b, "logMessage", r.logMessage, why);
    refused.push_back(why);
    if (why.empty()) requests.push_back(std::move(r));
  }
  // Breakpoints of another file, or of this one after it was edited (the
  // lines asked for are the new text's, the running program is the old
  // one's): none is set.
  const bool launched = SamePath(path, program_);
  std::string notSet;
  if (noDebug_)
    notSet = "running without debugging";
  else if (!launched)
    notSet = "not the launched macro";
  else if (SourceEdited())
    notSet = "edited since launch: the breakpoint is set at the next launch";
  // Those set are in force, and only those: the others are answered as not set.
  std::vector<TBreakpoint> bound;
  if (notSet.empty())
    bound = Debugger().SetBreakpoints(requests);
  else if (launched && !noDebug_)
    Debugger().SetBreakpoints({});
  Json list = Json::array();
  std::size_t next = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Json j = {{"verified", false}, {"line", ToClientLine(lines[i])}};
    if (!notSet.empty()) {
      j["message"] = notSet;
    } else if (!refused[i].empty()) {
      j["message"] = refused[i];
    } else {
      const TBreakpoint& b = bound.at(next++);
      j["verified"] = b.verified;
      j["line"] = ToClientLine(b.verified ? b.line : b.requestedLine);
      if (!b.message.empty()) j["message"] = Cp932ToUtf8(b.message);
    }
    if (launched) {
      j["id"] = static_cast<int>(i) + 1;
      j["source"] = {{"path", path}};
    }
    list.push_back(std::move(j));
  }
  Respond(request, {{"breakpoints", list}});
}

bool Session::SourceEdited() const {
  if (!launchedBytes_) return false;  // nothing to compare with
  return FileBytes(program_) != launchedBytes_;
}

void Session::SetExceptionBreakpoints(const Json& request) {
  const Json args = Arguments(request);
  bool stop = false;
  auto filters = args.find("filters");
  if (filters != args.end() && !filters->is_array()) Refuse("filters", "is not a list");
  if (filters != args.end())
    for (const Json& f : *filters)
      if (f.is_string() && f.get<std::string>() == "message") stop = true;
  Debugger().stopOnMessage = stop && !noDebug_;
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
  if (!Debugger().StopMessage().empty()) {
    body["description"] = Cp932ToUtf8(Debugger().StopMessage());
    body["text"] = Cp932ToUtf8(Debugger().StopMessage());
  }
  Event("stopped", body);
}

// --- running ---------------------------------------------------------------

bool Session::HasWork() const { return launched_ && configured_ && !finished_ && host_->HasWork(); }

void Session::DoWork() {
  if (HasWork()) host_->DoWork();
}

TDebugger& Session::Debugger() { return host_->Debugger(); }

Session::CompileError Session::ReadCompileError(const std::string& error) {
  // The compiler's "nnn,text" (or "nnn:text") counts lines from 0.
  const std::size_t i = error.find_first_not_of(' ');
  const std::size_t end = i == std::string::npos ? i : error.find_first_not_of("0123456789", i);
  if (end == std::string::npos || end == i || end - i > 6 || (error[end] != ',' && error[end] != ':'))
    return {-1, error};
  return {std::stoi(error.substr(i, end - i)), error.substr(end + 1)};
}

std::string Session::MessageLine(int line) const {
  return line < 0 ? std::string() : " (line " + std::to_string(line + 1) + ")";
}

void Session::LineOutput(const std::string& category, const std::string& utf8, int line) {
  Json body = {{"category", category}, {"output", utf8 + "\n"}};
  if (line >= 0) {
    body["source"] = {{"path", program_}};
    body["line"] = ToClientLine(line);
  }
  Event("output", body);
}

void Session::Control(const Json& request) {
  const std::string command = request["command"].get<std::string>();
  CheckThread(Arguments(request));
  const std::string granularity = StringArgument(Arguments(request), "granularity", "statement");
  if (granularity != "statement" && granularity != "line" && granularity != "instruction")
    Refuse("granularity", "is not 'statement', 'line' or 'instruction'");
  if (!Debugger().Held()) return Fail(request, "'" + command + "' while the macro is not stopped");
  Respond(request, command == "continue" ? Json{{"allThreadsContinued", true}} : Json());
  const bool instruction = granularity == "instruction";
  if (command == "continue") {
    Debugger().Continue();
  } else if (command == "next") {
    instruction ? Debugger().StepInstructionOver() : Debugger().StepOver();
  } else if (command == "stepIn") {
    instruction ? Debugger().StepInstruction() : Debugger().StepInto();
  } else {
    Debugger().StepOut();
  }
}

void Session::Pause(const Json& request) {
  CheckThread(Arguments(request));
  if (noDebug_) return Fail(request, "the macro runs without debugging: it cannot be paused");
  Respond(request, Json());
  // Between two runs: the next one stops at its first statement.
  if (!Debugger().Held()) Debugger().Pause();
}

void Session::Disconnect(const Json& request) {
  if (host_) host_->Stop();
  finished_ = true;
  Respond(request, Json());
}

void Session::ClientGone() {
  if (host_) host_->Stop();
  finished_ = true;
}

// --- inspection ------------------------------------------------------------

int Session::HeldFrame(const Json& args, bool required) {
  if (!Debugger().Held()) throw ArgumentError{"no frame: the macro is not stopped"};
  const long long id = IntArgument(args, "frameId", 1, INT_MAX, required ? 0 : 1);
  if (id == 0) Refuse("frameId", "is missing");
  if (id > static_cast<long long>(Debugger().StackTrace().size())) throw ArgumentError{"no such frame"};
  return static_cast<int>(id - 1);
}

void Session::StackTrace(const Json& request) {
  const Json args = Arguments(request);
  CheckThread(args);
  const long long startFrame = IntArgument(args, "startFrame", 0, INT_MAX, 0);
  const long long levels = IntArgument(args, "levels", 0, INT_MAX, 0);
  Json frames = Json::array();
  if (Debugger().Held()) {
    const std::vector<TStackFrame> stack = Debugger().StackTrace();
    const std::string name = std::filesystem::path(program_).filename().string();
    for (std::size_t i = 0; i < stack.size(); ++i) {
      frames.push_back({{"id", static_cast<int>(i) + 1},
                        {"name", stack[i].name.empty() ? std::string("(macro)") : Cp932ToUtf8(stack[i].name)},
                        {"line", ToClientLine(std::max(stack[i].line, 0))},
                        {"column", std::max(stack[i].column, 0) + (columnsStartAt1_ ? 1 : 0)},
                        {"instructionPointerReference", Address(stack[i].pc)},
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
  if (reference == 0 || !Debugger().Held() || frame >= static_cast<int>(Debugger().StackTrace().size()))
    return Fail(request, "no such variables reference while the macro is " +
                             std::string(Debugger().Held() ? "stopped" : "not stopped"));
  const auto scope = static_cast<Scope>((reference - 1) % 3);
  std::vector<TVariable> list = scope == kLocals      ? Debugger().Locals()
                                : scope == kArguments ? Debugger().Arguments(frame)
                                                      : Debugger().Externals();
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
  if (!Debugger().Held()) return Fail(request, "'setVariable' while the macro is not stopped");
  std::string name, value, error;
  if (!Cp932Argument(args, "name", name, error) || !Cp932Argument(args, "value", value, error))
    return Fail(request, error);
  const int frame = reference > 0 ? (reference - 1) / 3 : 0;
  if (frame >= static_cast<int>(Debugger().StackTrace().size())) return Fail(request, "no such variables reference");
  std::int16_t stored = 0;
  if (!Debugger().SetVariable(name, value, stored, error, frame)) return Fail(request, Cp932ToUtf8(error));
  Respond(request, {{"value", std::to_string(stored)}, {"variablesReference", 0}});
}

void Session::Evaluate(const Json& request) {
  const Json args = Arguments(request);
  std::string expression, error;
  if (!Cp932Argument(args, "expression", expression, error)) return Fail(request, error);
  const int frame = HeldFrame(args, false);
  std::int16_t value = 0;
  if (!Debugger().Evaluate(expression, value, error, frame)) return Fail(request, Cp932ToUtf8(error));
  Respond(request, {{"result", std::to_string(value)}, {"variablesReference", 0}});
}

// --- the machine -----------------------------------------------------------

void Session::Disassemble(const Json& request) {
  const Json args = Arguments(request);
  const long long base = AddressArgument(args, "memoryReference") +
                         IntArgument(args, "offset", -0xFFFF, 0xFFFF, 0);
  const long long offset = IntArgument(args, "instructionOffset", -0x10000, 0x10000, 0);
  const long long count = IntArgument(args, "instructionCount", 0, 0x10000, -1);
  if (count < 0) Refuse("instructionCount", "is missing");
  if (base < 0 || base > 0xFFFF) Refuse("offset", "leads outside the code area");
  long first = 0;
  const std::vector<TInstructionText> list =
      Debugger().Instructions(static_cast<std::uint16_t>(base), static_cast<long>(offset), static_cast<long>(count), &first);
  // As many as asked for: places outside the program are marked as such.
  Json out = Json::array();
  const std::string name = std::filesystem::path(program_).filename().string();
  auto filler = [&](long long pc) {
    return Json{{"address", Address(static_cast<std::uint16_t>(std::clamp(pc, 0LL, 0xFFFFLL)))},
                {"instruction", "??"},
                {"presentationHint", "invalid"}};
  };
  const long long before = std::min<long long>(std::max<long long>(first - offset, 0), count);
  for (long long i = 0; i < before; ++i) out.push_back(filler(list.empty() ? base : list.front().pc - (before - i)));
  int lastLine = -2;
  for (const TInstructionText& t : list) {
    if (static_cast<long long>(out.size()) >= count) break;
    Json j = {{"address", Address(t.pc)}, {"instructionBytes", t.bytes}, {"instruction", t.text}};
    if (t.line >= 0) {
      j["line"] = ToClientLine(t.line);
      if (t.line != lastLine) j["location"] = {{"name", name}, {"path", program_}};
    }
    lastLine = t.line;
    out.push_back(std::move(j));
  }
  while (static_cast<long long>(out.size()) < count)
    out.push_back(filler(list.empty() ? base : list.back().pc + 1 + static_cast<long long>(out.size())));
  Respond(request, {{"instructions", out}});
}

void Session::SetInstructionBreakpoints(const Json& request) {
  const Json args = Arguments(request);
  const Json& list = BreakpointList(args, false);
  std::vector<TBreakpointRequest> requests;
  std::vector<int> addresses;        // as asked for
  std::vector<std::string> refused;  // why it is not set, empty when it is
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Json& b = list[i];
    const std::string at = "breakpoints[" + std::to_string(i) + "].";
    TBreakpointRequest r;
    r.address = static_cast<int>(AddressArgument(b, "instructionReference") +
                                 IntArgument(b, "offset", -0xFFFF, 0xFFFF, 0, at + "offset"));
    if (r.address < 0 || r.address > 0xFFFF) Refuse(at + "offset", "leads outside the code area");
    addresses.push_back(r.address);
    std::string why;
    if (BreakpointText(b, "condition", r.condition, why)) BreakpointText(b, "hitCondition", r.hitCondition, why);
    refused.push_back(why);
    if (why.empty()) requests.push_back(std::move(r));
  }
  if (noDebug_) return Respond(request, NotDebugging(addresses.size()));
  const std::vector<TBreakpoint> bound = Debugger().SetInstructionBreakpoints(requests);
  Json out = Json::array();
  std::size_t next = 0;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    // The address asked for, also for one that is not set.
    Json j = {{"verified", false}, {"instructionReference", Address(static_cast<std::uint16_t>(addresses[i]))}};
    if (!refused[i].empty()) {
      j["message"] = refused[i];
    } else {
      const TBreakpoint& b = bound.at(next++);
      j["verified"] = b.verified;
      if (b.verified) j["line"] = ToClientLine(b.line);
      if (!b.message.empty()) j["message"] = Cp932ToUtf8(b.message);
    }
    out.push_back(std::move(j));
  }
  Respond(request, {{"breakpoints", out}});
}

// --- data breakpoints ------------------------------------------------------

// A data breakpoint's id: the name of a local or external, or "@n#frame"
// for an argument of a frame (0 innermost).
void Session::DataBreakpointInfo(const Json& request) {
  const Json args = Arguments(request);
  std::string name, error;
  if (!Cp932Argument(args, "name", name, error)) return Fail(request, error);
  int frame = 0;
  const long long reference = IntArgument(args, "variablesReference", 1, INT_MAX, 0);
  if (reference > 0) {
    frame = static_cast<int>((reference - 1) / 3);
  } else if (args.contains("frameId")) {
    frame = HeldFrame(args, false);
  }
  const bool argument = !name.empty() && name[0] == '@';
  if (argument && !Debugger().Held()) return Respond(request, {{"dataId", nullptr}, {"description", "the macro is not stopped"}});
  if (!Debugger().CanWatch(name, frame, error))
    return Respond(request, {{"dataId", nullptr}, {"description", Cp932ToUtf8(error)}});
  const std::string utf8 = Cp932ToUtf8(name);
  Respond(request, {{"dataId", argument ? utf8 + "#" + std::to_string(frame) : utf8},
                    {"description", utf8},
                    {"accessTypes", Json::array({"write"})},
                    {"canPersist", !argument}});
}

void Session::SetDataBreakpoints(const Json& request) {
  const Json args = Arguments(request);
  const Json& list = BreakpointList(args, false);
  std::vector<TDataBreakpointRequest> requests;
  std::vector<std::string> refused;  // why it is not set, empty when it is
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Json& b = list[i];
    const std::string at = "breakpoints[" + std::to_string(i) + "].";
    std::string id = StringArgument(b, "dataId", "", at + "dataId");
    if (id.empty()) Refuse(at + "dataId", "is missing");
    TDataBreakpointRequest r;
    if (const std::size_t hash = id.rfind('#'); hash != std::string::npos && !id.empty() && id[0] == '@') {
      char* end = nullptr;
      const long frame = std::strtol(id.c_str() + hash + 1, &end, 10);
      if (*end != '\0' || frame < 0 || frame > INT_MAX) Refuse(at + "dataId", "names no frame");
      r.frame = static_cast<int>(frame);
      id.resize(hash);
    }
    std::string why, error;
    if (!TryUtf8ToCp932(id, r.name, error))
      why = "dataId: " + error;
    else
      BreakpointText(b, "condition", r.condition, why);
    refused.push_back(why);
    if (why.empty()) requests.push_back(std::move(r));
  }
  if (noDebug_) return Respond(request, NotDebugging(refused.size()));
  const std::vector<TDataBreakpoint> bound = Debugger().SetDataBreakpoints(requests);
  Json out = Json::array();
  std::size_t next = 0;
  for (const std::string& why : refused) {
    Json j = {{"verified", false}};
    if (!why.empty()) {
      j["message"] = why;
    } else {
      const TDataBreakpoint& d = bound.at(next++);
      j["verified"] = d.verified;
      if (!d.message.empty()) j["message"] = Cp932ToUtf8(d.message);
    }
    out.push_back(std::move(j));
  }
  Respond(request, {{"breakpoints", out}});
}

}  // namespace qmt::dap
