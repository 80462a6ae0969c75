// qmt serve: the emulated device on the wire.  Listens on a TCP address or a
// pseudo-terminal, executes every line a client sends as the device would,
// and writes the pages when it ends.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "command.h"
#include "device/escape.h"
#include "device/png.h"
#include "device/qmt3308.h"
#include "host/wire_device.h"
#include "link/stream_server.h"
#include "support/file_io.h"

namespace qmt::cli {
namespace {

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int sig) { stopSignal = sig; }

// A line as it is shown in a message: escaped, and cut short when long.
std::string Shown(std::string_view line) {
  constexpr std::size_t kShown = 80;
  std::string text = EscapeForDisplay(line.substr(0, kShown));
  if (line.size() > kShown) text += "... (" + std::to_string(line.size()) + " bytes)";
  return text;
}

void WritePages(TQMT3308& device, const std::string& dir, const std::string& png) {
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw FileError("cannot create " + dir + ": " + ec.message());
    for (int page = 0; page < 4; ++page)
      device.SavePage(page, (std::filesystem::path(dir) / ("VRAM" + std::to_string(page) + ".bmp")).string());
  }
  if (!png.empty()) WritePagePng(png, device.DisplayPageBytes());
}

static Command reg(45, [](CLI::App& app) {
  auto* sub = app.add_subcommand("serve", "Be the device on the wire: execute the lines a client sends over TCP "
                                          "or a pseudo-terminal");
  sub->footer(
      "ADDRESS is tcp:[HOST:]PORT (HOST is 127.0.0.1 unless named, so only this machine can connect; name\n"
      "0.0.0.0 or another address to listen there; PORT 0 lets the system choose) or pty[:LINK] (a\n"
      "pseudo-terminal in raw mode; LINK, when given, is a symbolic link to it, made at start and removed\n"
      "at exit; an existing symbolic link there is replaced, any other file is refused).\n"
      "\n"
      "The first line of standard output is the address listened on: tcp:HOST:PORT with the port the\n"
      "system chose, or the pseudo-terminal's path. One client is served at a time; another one is\n"
      "closed at once. The bytes are taken as the device takes them: each line ends with a carriage\n"
      "return, line feeds are ignored, and GI and DI lines carry 32 and 128 raw bytes after the mnemonic.\n"
      "A line longer than 614,402 bytes (TI with a full page) is dropped. Failing and dropped lines are\n"
      "reported on standard error; with --replies the client also gets one line back per line: \"ok\" or\n"
      "the device's message in code page 932, ended by CR LF.\n"
      "\n"
      "Without --once the server runs until SIGINT or SIGTERM; --pages and --png are written then.\n"
      "Exit status 1 when a line failed or was dropped, or the address cannot be used.");
  struct Options {
    std::string listen;
    std::string pages;
    std::string png;
    bool once = false;
    bool replies = false;
    bool lines = false;
  };
  auto opt = std::make_shared<Options>();
  sub->add_option("--listen", opt->listen, "tcp:[HOST:]PORT or pty[:LINK]")->required()->option_text("ADDRESS");
  sub->add_option("--pages", opt->pages, "At the end, write the four video pages as DIR/VRAM0.bmp ... VRAM3.bmp")
      ->option_text("DIR");
  sub->add_option("--png", opt->png, "At the end, write the display page as a PNG picture")->option_text("FILE");
  sub->add_flag("--once", opt->once, "Serve one client and end when it leaves");
  sub->add_flag("--replies", opt->replies, "Answer each line with \"ok\" or the device's message");
  sub->add_flag("--lines", opt->lines, "Print each line that arrives on standard output (escaped form)");
  return [opt]() -> int {
    // SIGINT and SIGTERM are held back except while the server waits, so
    // they end the wait and never a line half done.
    sigset_t stopSet, waitMask;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSet, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::string error;
    std::unique_ptr<StreamServer> server = StreamServer::Listen(opt->listen, error);
    if (!server) {
      PrintError("qmt serve: " + error);
      return 1;
    }
    std::printf("%s\n", server->Address().c_str());
    std::fflush(stdout);

    TQMT3308& device = Device();
    WireDevice wire(*server, device, opt->replies);
    bool lines = opt->lines;
    wire.SetLineReport([lines](std::string_view line, const std::string* message) {
      if (lines) PrintLine(EscapeForDisplay(line));
      if (message) PrintError("qmt serve: " + Shown(line) + ": " + *message);
    });
    wire.SetEventReport([](StreamServer::Event event, const std::string& detail) {
      switch (event) {
        case StreamServer::Event::kClientConnected: PrintError("qmt serve: " + detail + " connected"); break;
        case StreamServer::Event::kClientLeft: PrintError("qmt serve: " + detail + " left"); break;
        case StreamServer::Event::kClientRefused:
          PrintError("qmt serve: " + detail + " refused: another client is being served");
          break;
        case StreamServer::Event::kLineCut:
          PrintError("qmt serve: the client left in the middle of a line; its " + detail + " bytes are dropped");
          break;
        case StreamServer::Event::kLineDropped:
          PrintError("qmt serve: a line of " + detail + " bytes is dropped: longer than the device's " +
                     std::to_string(LineAssembler::kMaxLineBytes) + "-byte line limit");
          break;
      }
    });

    while (stopSignal == 0) {
      server->Serve(-1, &waitMask);
      if (lines) std::fflush(stdout);  // what arrived so far, for a reader of the pipe
      if (opt->once && server->ClientsServed() > 0) break;
    }
    server.reset();  // removes the pseudo-terminal's link
    WritePages(device, opt->pages, opt->png);
    return wire.Errors() + wire.Dropped() > 0 ? 1 : 0;
  };
});

}  // namespace
}  // namespace qmt::cli
