// qmt lsp: the macro language server for editors, speaking the Language
// Server Protocol over standard input and output.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "command.h"
#include "dap/message_reader.h"
#include "lsp/server.h"

namespace qmt::cli {
namespace {

void Send(const std::string& body) {
  const std::string framed = dap::Frame(body);
  std::fwrite(framed.data(), 1, framed.size(), stdout);
  std::fflush(stdout);
}

int Serve() {
  lsp::Server server(Send);
  dap::MessageReader reader;
  std::string text;
  char buffer[65536];
  for (;;) {
    for (;;) {
      const dap::MessageReader::Result r = reader.Next(text);
      if (r == dap::MessageReader::Result::kNeedMore) break;
      if (r == dap::MessageReader::Result::kMessage) {
        server.Handle(text);
      } else {
        server.FramingError(text);
      }
      if (server.Finished()) return server.ExitCode();
    }
    // Wait for input, or until the next diagnostics are due.
    int timeout = -1;
    if (server.HasWork()) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(server.NextWork() -
                                                                              lsp::Server::Clock::now());
      timeout = static_cast<int>(std::clamp<long long>(wait.count() + 1, 0, 60000));
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&in, 1, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (ready == 0) {
      server.DoWork();
      continue;
    }
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return server.ExitCode();
    reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
}

static Command reg(61, [](CLI::App& app) {
  auto* sub = app.add_subcommand("lsp", "Edit macros in an editor (Language Server Protocol on stdin/stdout)");
  sub->footer(
      "Speaks the Language Server Protocol 3.17 on standard input and output, for VS Code, Neovim,\n"
      "Emacs (eglot, lsp-mode) and other clients: diagnostics as you type, hover, completion,\n"
      "signature help, go to definition, references, rename, outline, folding and semantic\n"
      "colours. Documents arrive as Unicode and are read as code page 932; a character code page\n"
      "932 cannot hold is reported where it stands. See docs/editors.md.");
  return [] { return Serve(); };
});

}  // namespace
}  // namespace qmt::cli
