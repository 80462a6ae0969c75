// A Debug Adapter Protocol session over the debugger: requests in, responses
// and events out, one JSON body at a time.  The session owns the macro's
// runner and debugger on the process's device; between requests its caller
// lets it do its work (the start-up run, then each event label), so that a
// request such as pause is read while the macro runs through its events.
//
// Text in the protocol is UTF-8; inside, code page 932.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace qmt {
class NameTables;
class ScenarioReplay;
struct ReplayedStep;
struct TBreakpointRequest;
class TDebugger;
class TRunner;
class TScript;
}  // namespace qmt

namespace qmt::dap {

class Session {
 public:
  // `send` receives each outgoing body (JSON text, not framed).
  explicit Session(std::function<void(const std::string& body)> send);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // One message body from the client.
  void Handle(std::string_view body);
  // The reader could not frame a message: the client is told, and the
  // session goes on.
  void FramingError(const std::string& text);

  // Whether the macro has work to do now (not held, configured, events
  // left or the end not yet announced).
  bool HasWork() const;
  // Does the next piece of work: the start-up run, the next event or
  // scenario step, or the announcement that the program ended.
  void DoWork();
  // After disconnect: the adapter may exit.
  bool Finished() const { return finished_; }
  // The client went away without disconnect.
  void ClientGone();

 private:
  using Json = nlohmann::json;
  void Dispatch(const Json& request);
  void Respond(const Json& request, const Json& body);
  void Fail(const Json& request, const std::string& message);
  void Event(const std::string& event, const Json& body);
  void Output(const std::string& category, const std::string& utf8);

  void Initialize(const Json& request);
  void Launch(const Json& request);
  void SetBreakpoints(const Json& request);
  void SetExceptionBreakpoints(const Json& request);
  void ConfigurationDone(const Json& request);
  void StackTrace(const Json& request);
  void Scopes(const Json& request);
  void Variables(const Json& request);
  void SetVariable(const Json& request);
  void Evaluate(const Json& request);
  void Control(const Json& request);
  void Threads(const Json& request);
  // The request's arguments, an empty object when it has none.
  static Json Arguments(const Json& request);
  // The frame `frameId` names, 0 innermost; the macro must be held.
  int HeldFrame(const Json& args, bool required);
  void Pause(const Json& request);
  void Disconnect(const Json& request);
  void OnStopped(int reason);
  // The scenario argument: false when the launch was refused.
  bool LoadScenario(const Json& request, const Json& args);
  // Makes the replay's machine the session's runner.
  void StartReplay();
  void ReplayWork();
  void ReportStep(const ReplayedStep& step);
  void End(int exitCode);
  // " (line N)" for a run message of the running instruction, in client lines.
  std::string MessageLine() const;
  // A compile error with its line as the client counts lines.
  std::string CompileErrorText(const std::string& error) const;

  int ToClientLine(int line) const { return line + (linesStartAt1_ ? 1 : 0); }
  int FromClientLine(int line) const { return line - (linesStartAt1_ ? 1 : 0); }

  std::function<void(const std::string&)> send_;
  int seq_ = 0;
  bool initialized_ = false;
  bool launched_ = false;
  bool configured_ = false;
  bool started_ = false;
  bool ended_ = false;  // exited and terminated were sent
  bool finished_ = false;
  bool linesStartAt1_ = true;
  bool showLines_ = false;
  bool noDebug_ = false;
  int messages_ = 0;  // run messages, for the exit code
  int replayExit_ = 0;  // the exit code of a scenario that failed
  std::string program_;  // as the client named it
  std::deque<std::string> events_;  // labels still to raise, code page 932
  std::unique_ptr<NameTables> tables_;
  std::unique_ptr<TScript> script_, spare_;
  std::unique_ptr<TRunner> ownRunner_;  // without a scenario
  std::unique_ptr<ScenarioReplay> replay_;
  std::unique_ptr<TDebugger> debugger_;
  TRunner* runner_ = nullptr;  // ownRunner_ or the replay's
};

}  // namespace qmt::dap
