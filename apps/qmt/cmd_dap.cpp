// qmt dap: the macro debugger for editors, speaking the Debug Adapter
// Protocol over standard input and output.
#include "command.h"
#include "dap/session.h"
#include "host/config_files.h"
#include "protocol/stdio_loop.h"

namespace qmt::cli {
namespace {

int Serve() {
  dap::Session session(protocol::SendFramed, ExecutablePath("qmt"));
  const bool read = protocol::ServeStdio({
      .message = [&](const std::string& body) { session.Handle(body); },
      .framingError = [&](const std::string& error) { session.FramingError(error); },
      .finished = [&] { return session.Finished(); },
      // With work to do, only look whether a request is waiting.
      .waitMs = [&] { return session.HasWork() ? 0 : -1; },
      .work = [&] { session.DoWork(); },
  });
  if (!session.Finished()) session.ClientGone();
  return read ? 0 : 1;
}
static Command reg(60, [](CLI::App& app) {
  auto* sub = app.add_subcommand("dap", "Debug macros from an editor (Debug Adapter Protocol on stdin/stdout)");
  sub->footer(
      "Speaks the Debug Adapter Protocol on standard input and output, for VS Code, Neovim (nvim-dap),\n"
      "Emacs (dap-mode) and other clients. Launch arguments: program (the macro file), events (labels\n"
      "raised after the start-up run), scenario (a scenario file whose inputs are replayed instead),\n"
      "stopOnEntry, utf8 (a UTF-8 macro file), showLines (an output event for each command line sent),\n"
      "noDebug. Without events or scenario the session ends after the start-up run.\n"
      "See docs/debugging.md.");
  return [] { return Serve(); };
});

}  // namespace
}  // namespace qmt::cli
