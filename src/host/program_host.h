// A macro run for a debugger's client: the program's macro read and
// compiled, a runner (or a scenario replayed on a machine of its own) under
// the debugger, the events still to raise, and how the program ends.  It
// knows nothing of the protocol that drives it: the debug adapter is one
// face of it, and any other front end can be another.
//
// Lines are counted from 0, as the compiler counts them.  Messages to the
// user are UTF-8; run messages and names are code page 932.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/debugger.h"

namespace qmt {

class HeadlessToolWindow;
class ScenarioReplay;
class TDM;
class TScript;
struct ReplayedStep;

struct ProgramLaunch {
  // The program whose simulator's files (the colour list) are read.
  std::string toolPath;
  // The macro file; with `utf8` it is UTF-8 text.
  std::string program;
  bool utf8 = false;
  // Labels raised in turn after the start-up run (code page 932).
  std::vector<std::string> events;
  // A scenario file replayed instead of the events; empty for none.
  std::string scenario;
  // Nothing stops the macro.
  bool noDebug = false;
  bool stopOnEntry = false;
};

class ProgramHost {
 public:
  enum class Stream { kStdout, kStderr, kConsole };

  ProgramHost();
  ~ProgramHost();
  ProgramHost(const ProgramHost&) = delete;
  ProgramHost& operator=(const ProgramHost&) = delete;

  // A line for the user (UTF-8, without its end).
  std::function<void(Stream stream, const std::string& text)> onOutput;
  // A run message (code page 932) and the line of the instruction that
  // raised it, -1 when unknown.
  std::function<void(const std::string& message, int line)> onRunMessage;
  // A command line the device accepted (raw bytes).
  std::function<void(const std::string& line)> onLine;
  // The debugger holds the run.
  std::function<void(TStopReason reason)> onStopped;
  // The program has ended, with the exit code `qmt run` would give.
  std::function<void(int exitCode)> onEnded;

  // Reads and compiles the macro and readies the run.  False with `error`
  // (UTF-8); a compile's error log (code page 932, lines from 0) goes to
  // `compileErrors`.  The notes of reading go to onOutput.
  bool Launch(const ProgramLaunch& launch, std::string& error, std::vector<std::string>& compileErrors);
  bool Launched() const { return debugger_ != nullptr; }
  TDebugger& Debugger() { return *debugger_; }
  const TDebugger& Debugger() const { return *debugger_; }
  bool NoDebug() const { return noDebug_; }

  // Whether there is work to do now: launched, not held, not ended.
  bool HasWork() const;
  // The start-up run, the next event or scenario step, or the end.
  void DoWork();
  bool Ended() const { return ended_; }
  // Ends a held run and the program with it (nothing more runs).
  void Stop();

 private:
  bool LoadScenario(const std::string& file, std::string& error);
  void ReplayWork();
  void ReportStep(const ReplayedStep& step);
  void RunMessage(const std::string& message);
  void Say(Stream stream, const std::string& text);
  void End(int exitCode);

  std::unique_ptr<HeadlessToolWindow> tool_;
  std::unique_ptr<TDM> dm_;  // the compile, its names and tables
  std::unique_ptr<TScript> spare_;  // the debugger's expressions
  std::unique_ptr<TRunner> ownRunner_;  // without a scenario
  std::unique_ptr<ScenarioReplay> replay_;
  std::unique_ptr<TDebugger> debugger_;
  TRunner* runner_ = nullptr;  // ownRunner_ or the replay's
  std::deque<std::string> events_;
  bool noDebug_ = false;
  bool started_ = false;
  bool ended_ = false;
  int messages_ = 0;  // run messages, for the exit code
  int replayExit_ = 0;  // the exit code of a scenario that failed
};

}  // namespace qmt
