// qmt lsp: the macro language server for editors, speaking the Language
// Server Protocol over standard input and output.
#include <algorithm>
#include <chrono>

#include "command.h"
#include "lsp/server.h"
#include "protocol/stdio_loop.h"

namespace qmt::cli {
namespace {

int Serve() {
  lsp::Server server(protocol::SendFramed);
  const bool read = protocol::ServeStdio({
      .message = [&](const std::string& body) { server.Handle(body); },
      .framingError = [&](const std::string& error) { server.FramingError(error); },
      .finished = [&] { return server.Finished(); },
      // Until the next diagnostics are due.
      .waitMs =
          [&] {
            if (!server.HasWork()) return -1;
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(server.NextWork() -
                                                                                    lsp::Server::Clock::now());
            return static_cast<int>(std::clamp<long long>(wait.count() + 1, 0, 60000));
          },
      .work = [&] { server.DoWork(); },
  });
  return read ? server.ExitCode() : 1;
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
