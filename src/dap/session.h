// A Debug Adapter Protocol session over the program host: requests in,
// responses and events out, one JSON body at a time.  The host runs the
// macro under the debugger; between requests the session's caller lets it
// do its work (the start-up run, then each event label or scenario step),
// so that a request such as pause is read while the macro runs.
//
// Text in the protocol is UTF-8; inside, code page 932.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace qmt {
class ProgramHost;
class TDebugger;
}  // namespace qmt

namespace qmt::dap {

class Session {
 public:
  // `send` receives each outgoing body (JSON text, not framed).  The
  // simulator's files (its colour list) are found beside `toolPath`.
  explicit Session(std::function<void(const std::string& body)> send, std::string toolPath = "");
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // One message body from the client.
  void Handle(std::string_view body);
  // The reader could not frame a message: the client is told on its
  // console, and the session goes on.
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
  // A message that names no request to answer.
  void Unanswerable(const std::string& text);

  void Initialize(const Json& request);
  void Launch(const Json& request);
  void SetBreakpoints(const Json& request);
  // Whether the program file differs from the one launched.
  bool SourceEdited() const;
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
  void Disassemble(const Json& request);
  void SetInstructionBreakpoints(const Json& request);
  void DataBreakpointInfo(const Json& request);
  void SetDataBreakpoints(const Json& request);
  void Disconnect(const Json& request);
  void OnStopped(int reason);
  // " (line N)" for a run message's line, as the editor shows it (from 1).
  std::string MessageLine(int line) const;
  // An output event; with a line (from 0), the source and that line as the
  // client counts lines.
  void LineOutput(const std::string& category, const std::string& utf8, int line);
  // A compile error's line (from 0, -1 for none) and its text.
  struct CompileError {
    int line;
    std::string text;
  };
  static CompileError ReadCompileError(const std::string& error);
  TDebugger& Debugger();

  int ToClientLine(int line) const { return line + (linesStartAt1_ ? 1 : 0); }
  int FromClientLine(int line) const { return line - (linesStartAt1_ ? 1 : 0); }

  std::function<void(const std::string&)> send_;
  std::string toolPath_;
  int seq_ = 0;
  bool initialized_ = false;
  bool launched_ = false;
  bool configured_ = false;
  bool finished_ = false;
  bool linesStartAt1_ = true;
  bool columnsStartAt1_ = true;
  bool showLines_ = false;
  bool noDebug_ = false;
  std::string program_;  // as the client named it
  std::unique_ptr<ProgramHost> host_;
  // The program file's bytes at launch; nothing when they could not be read.
  std::optional<std::string> launchedBytes_;
};

}  // namespace qmt::dap
