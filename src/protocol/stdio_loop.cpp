#include "protocol/stdio_loop.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "protocol/message_reader.h"

namespace qmt::protocol {

void SendFramed(const std::string& body) {
  const std::string framed = Frame(body);
  std::fwrite(framed.data(), 1, framed.size(), stdout);
  std::fflush(stdout);
}

bool ServeStdio(const StdioPeer& peer) {
  MessageReader reader;
  std::string text;
  char buffer[65536];
  for (;;) {
    for (;;) {
      const MessageReader::Result r = reader.Next(text);
      if (r == MessageReader::Result::kNeedMore) break;
      if (r == MessageReader::Result::kMessage) {
        peer.message(text);
      } else {
        peer.framingError(text);
      }
      if (peer.finished()) return true;
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&in, 1, peer.waitMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) {
      peer.work();
      continue;
    }
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
}

}  // namespace qmt::protocol
