// qmt serve: the emulated device on the wire.  Listens on a TCP address or a
// pseudo-terminal, executes every line a client sends as the device would,
// and writes the pages when it ends.
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "command.h"
#include "device/escape.h"
#include "device/qmt3308.h"
#include "host/page_files.h"
#include "host/wire_device.h"
#include "link/stream_server.h"
#include "support/encoding.h"

namespace qmt::cli {
namespace {

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int sig) { stopSignal = sig; }

// Standard output (--lines) or standard error (the reports).  Written only
// while the stop signals may arrive, so a reader that does not read never
// holds the server past a signal.
class Output {
 public:
  Output(int fd, const sigset_t& waitMask) : fd_(fd), waitMask_(waitMask) {}
  void Add(const std::string& cp932) { AddUtf8(Cp932ToUtf8(cp932)); }
  void AddUtf8(const std::string& utf8) {
    pending_ += utf8;
    pending_ += '\n';
  }
  // Writes what is pending, waiting for the reader (-1: until a stop signal
  // comes; 0: not at all, what the reader cannot take now is dropped).
  // False when the reader has gone (what is pending is dropped) or a signal
  // came first.
  bool Flush(int timeoutMs = -1) {
    const timespec none{0, 0};
    while (!pending_.empty() && (stopSignal == 0 || timeoutMs == 0)) {
      pollfd out{fd_, POLLOUT, 0};
      const int ready = ::ppoll(&out, 1, timeoutMs == 0 ? &none : nullptr, &waitMask_);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) break;
      if (ready < 0 || (out.revents & (POLLERR | POLLNVAL))) return Gone();
      sigset_t held;
      ::sigprocmask(SIG_SETMASK, &waitMask_, &held);
      ssize_t n = ::write(fd_, pending_.data(), std::min<std::size_t>(pending_.size(), PIPE_BUF));
      int err = errno;
      ::sigprocmask(SIG_SETMASK, &held, nullptr);
      if (n > 0) pending_.erase(0, static_cast<std::size_t>(n));
      else if (n < 0 && err != EINTR && err != EAGAIN) return Gone();
    }
    if (timeoutMs == 0) pending_.clear();
    return pending_.empty();
  }

 private:
  bool Gone() {
    pending_.clear();
    return false;
  }

  int fd_;
  const sigset_t& waitMask_;
  std::string pending_;
};

// Whether the reader of the pipe on `fd` has gone, without writing to it.
bool ReaderGone(int fd) {
  pollfd p{fd, 0, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0;
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
      "told \"refused: another client is being served\" and closed. The bytes are taken as the device\n"
      "takes them: each line ends with a carriage return, line feeds are ignored, and GI and DI lines\n"
      "carry 32 and 128 raw bytes after the mnemonic. A line longer than 614,402 bytes (TI with a full\n"
      "page) is dropped. Failing and dropped lines are reported on standard error; with --replies the\n"
      "client also gets one line back per line: \"ok\" or the device's message in code page 932, ended\n"
      "by CR LF.\n"
      "\n"
      "Without --once the server runs until SIGINT, SIGTERM or SIGHUP, or until the reader of standard\n"
      "output leaves (at once, with no further line needed); --pages and --png are written then and the\n"
      "pseudo-terminal's link is removed, also when nobody reads standard output or standard error.\n"
      "Exit status 1 when a line failed, was dropped or was cut short by its client leaving, when the\n"
      "reader of standard output left, or when the address cannot be used.");
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
  sub->add_flag("--lines", opt->lines, "Print each line that arrives on standard output, in the escaped form of qmt run --lines "
                "(UTF-8; qmt exec --utf8 runs it again)");
  return [opt]() -> int {
    // SIGINT, SIGTERM and SIGHUP are held back except while the server
    // waits or writes to standard output, so they end the wait and never a
    // line half done.  A reader of standard output that has gone ends the
    // server as a signal does: the link is removed and the pages written.
    sigset_t stopSet, waitMask;
    sigemptyset(&stopSet);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSet, sig);
    sigprocmask(SIG_BLOCK, &stopSet, &waitMask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&waitMask, sig);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    std::string error;
    std::unique_ptr<StreamServer> server = StreamServer::Listen(opt->listen, error);
    if (!server) {
      PrintError("qmt serve: " + error);
      return 1;
    }
    std::printf("%s\n", server->Address().c_str());
    std::fflush(stdout);

    TQMT3308& device = Device();
    // Refers to the server, so it goes first.
    auto wire = std::make_unique<WireDevice>(*server, device, opt->replies);
    bool lines = opt->lines;
    Output output(STDOUT_FILENO, waitMask), errors(STDERR_FILENO, waitMask);
    wire->SetLineReport([lines, &output, &errors](std::string_view line, const std::string* message) {
      if (lines) output.Add(EscapeForDisplay(line));
      if (message) errors.Add("qmt serve: " + ShownLine(line) + ": " + *message);
    });
    wire->SetEventReport([&errors](StreamServer::Event event, const std::string& detail) {
      errors.Add("qmt serve: " + WireDevice::EventText(event, detail));
    });

    bool outputGone = false;
    while (stopSignal == 0) {
      // The wait also ends when the reader of standard output leaves, so
      // that `qmt serve ... | head -1` ends with head, not at the next line.
      server->Serve(-1, &waitMask, STDOUT_FILENO);
      // What arrived so far, for the readers of the pipes.
      errors.Flush();
      if ((!output.Flush() || ReaderGone(STDOUT_FILENO)) && stopSignal == 0) {
        errors.Add("qmt serve: standard output is closed; the server ends");
        outputGone = true;
        break;
      }
      if (opt->once && server->ClientsServed() > 0) break;
    }
    bool failed = outputGone || wire->Errors() + wire->Dropped() > 0;
    wire.reset();
    server.reset();  // removes the pseudo-terminal's link
    try {
      WritePageFiles(device, opt->pages, opt->png);
    } catch (const std::exception& e) {
      errors.AddUtf8(std::string("qmt serve: ") + e.what());
      failed = true;
    }
    // What standard error takes now; a reader that does not read does not
    // keep the server from ending.
    errors.Flush(0);
    return failed ? 1 : 0;
  };
});

}  // namespace
}  // namespace qmt::cli
