// The loop of a protocol server on standard input and output: it reads
// framed messages as they come, hands each to the server, and gives the
// server's own work (a run going on, diagnostics falling due) the time
// between them.
#pragma once

#include <functional>
#include <string>

namespace qmt::protocol {

struct StdioPeer {
  // A whole message body, and the text of a framing error (English).
  std::function<void(const std::string& body)> message;
  std::function<void(const std::string& error)> framingError;
  // Whether the server has ended the session.
  std::function<bool()> finished;
  // How long input may be waited for before work is due: -1 without end,
  // 0 when there is work now.
  std::function<int()> waitMs;
  std::function<void()> work;
};

// Writes one message body, framed, to standard output.
void SendFramed(const std::string& body);

// Serves until the server has finished or standard input ends (true), or
// reading it fails (false).
bool ServeStdio(const StdioPeer& peer);

}  // namespace qmt::protocol
