// qmt dap: the macro debugger for editors, speaking the Debug Adapter
// Protocol over standard input and output.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "command.h"
#include "dap/message_reader.h"
#include "dap/session.h"
#include "host/config_files.h"

namespace qmt::cli {
namespace {

void Send(const std::string& body) {
  const std::string framed = dap::Frame(body);
  std::fwrite(framed.data(), 1, framed.size(), stdout);
  std::fflush(stdout);
}

int Serve() {
  dap::Session session(Send, ExecutablePath("qmt"));
  dap::MessageReader reader;
  std::string text;
  char buffer[65536];
  for (;;) {
    for (;;) {
      const dap::MessageReader::Result r = reader.Next(text);
      if (r == dap::MessageReader::Result::kNeedMore) break;
      if (r == dap::MessageReader::Result::kMessage) {
        session.Handle(text);
      } else {
        session.FramingError(text);
      }
      if (session.Finished()) return 0;
    }
    // With work to do, only look whether a request is waiting.
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&in, 1, session.HasWork() ? 0 : -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (ready == 0) {
      session.DoWork();
      continue;
    }
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      session.ClientGone();
      return 0;
    }
    reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
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
