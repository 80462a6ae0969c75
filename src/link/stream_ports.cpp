#include "link/stream_ports.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace qmt {
namespace {

using Clock = std::chrono::steady_clock;

// How often a stalled write looks at the device's queue.
constexpr int kQueueLookMs = 10;

int MsSince(Clock::time_point t) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// write() with SIGPIPE held back: a FIFO whose reader has gone answers EPIPE
// instead of ending the process.  A SIGPIPE this write raised is taken off
// the pending set again; one that was pending before stays.
ssize_t WriteWithoutSigpipe(int fd, const char* p, std::size_t n) {
  sigset_t pipeSet, old, pending;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  sigpending(&pending);
  bool wasPending = sigismember(&pending, SIGPIPE) == 1;
  ssize_t r = ::write(fd, p, n);
  int err = errno;
  if (r < 0 && err == EPIPE && !wasPending) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = err;
  return r;
}

std::string WithCr(std::string_view line) {
  std::string bytes;
  bytes.reserve(line.size() + 1);
  bytes.append(line);
  bytes.push_back('\r');
  return bytes;
}

bool AllDigits(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Bytes written to `fd` that the device has not taken yet (a pipe's
// content, a terminal's or a socket's output queue), or -1 when the
// descriptor cannot tell.  A device may take bytes long before the
// descriptor has room for another write: a pipe frees room a page at a time.
long Queued(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  int n = 0;
  if (::ioctl(fd, S_ISFIFO(st.st_mode) ? FIONREAD : TIOCOUTQ, &n) != 0) return -1;
  return n;
}

}  // namespace

StreamPort::~StreamPort() = default;

bool StreamPort::WriteAll(int fd, std::string_view bytes, bool socket) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  Clock::time_point progress = Clock::now();
  long queued = -1;
  while (left > 0) {
    ssize_t n = socket ? ::send(fd, p, left, MSG_NOSIGNAL) : WriteWithoutSigpipe(fd, p, left);
    if (n > 0) {
      p += n;
      left -= static_cast<std::size_t>(n);
      progress = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      // Progress is what the device takes, seen in its queue shrinking.
      long now = Queued(fd);
      if (now >= 0 && queued >= 0 && now < queued) progress = Clock::now();
      queued = now;
      int rest = kStallMs - MsSince(progress);
      if (rest <= 0) {
        problem_ = "the device took nothing for " + std::to_string(kStallMs) + " ms";
        return false;
      }
      pollfd pfd{fd, POLLOUT, 0};
      ::poll(&pfd, 1, now >= 0 ? std::min(rest, kQueueLookMs) : rest);
      continue;
    }
    problem_ = std::strerror(errno);
    return false;
  }
  return true;
}

// --- lp: ---------------------------------------------------------------------

std::unique_ptr<LpPort> LpPort::Open(const std::string& path, LinkProblem& problem) {
  std::unique_ptr<LpPort> port(new LpPort(path));
  int err = port->Reopen();
  if (err != 0 && err != ENXIO) {
    problem = {LinkProblem::Kind::kCannotOpen, {}, path, static_cast<std::uint32_t>(err)};
    return nullptr;
  }
  return port;
}

LpPort::~LpPort() { Close(); }

int LpPort::Reopen() {
  Close();
  fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  return fd_ < 0 ? errno : 0;
}

void LpPort::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LpPort::SendLine(std::string_view line) {
  if (fd_ < 0) {
    int err = Reopen();
    if (err == ENXIO) {
      problem_ = "nobody reads " + path_;
      return false;
    }
    if (err != 0) {
      problem_ = "cannot open " + path_ + ": " + std::strerror(err);
      return false;
    }
  }
  if (WriteAll(fd_, WithCr(line), false)) return true;
  problem_ = path_ + ": " + problem_;
  Close();
  return false;
}

// --- tcp: --------------------------------------------------------------------

bool SplitHostPort(std::string_view text, std::string_view defaultHost, std::string& host,
                   std::string& port) {
  std::string_view h, p;
  if (!text.empty() && text.front() == '[') {
    std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    h = text.substr(1, close - 1);
    p = text.substr(close + 2);
  } else {
    std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
      h = defaultHost;
      p = text;
    } else {
      h = text.substr(0, colon);
      p = text.substr(colon + 1);
      // A bare IPv6 address needs its brackets to be told from the port.
      if (h.find(':') != std::string_view::npos) return false;
    }
  }
  if (h.empty() || !AllDigits(p) || std::stoul(std::string(p)) > 65535) return false;
  host = std::string(h);
  port = std::to_string(std::stoul(std::string(p)));
  return true;
}

std::unique_ptr<TcpPort> TcpPort::Open(std::string_view address, LinkProblem& problem) {
  std::string host, port;
  if (!SplitHostPort(address, "127.0.0.1", host, port) || port == "0") {
    problem = {LinkProblem::Kind::kBadAddress, {}, std::string(address), 0};
    return nullptr;
  }
  return std::unique_ptr<TcpPort>(new TcpPort(host, port));
}

TcpPort::~TcpPort() { Close(); }

void TcpPort::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TcpPort::Connect() {
  const std::string where = host_ + ":" + port_;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  int gai = ::getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found);
  if (gai != 0) {
    problem_ = "cannot find " + host_ + ": " + ::gai_strerror(gai);
    return false;
  }
  problem_ = "cannot connect to " + where;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int err = 0;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        pollfd pfd{fd, POLLOUT, 0};
        int r;
        while ((r = ::poll(&pfd, 1, kConnectMs)) < 0 && errno == EINTR) {
        }
        socklen_t len = sizeof err;
        if (r == 0) err = ETIMEDOUT;
        else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      }
    }
    if (err == 0) {
      // Each line goes out as soon as it is written, as it would on the port.
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      fd_ = fd;
      ::freeaddrinfo(found);
      problem_.clear();
      return true;
    }
    problem_ = "cannot connect to " + where + ": " + std::strerror(err);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return false;
}

bool TcpPort::DrainReplies() {
  char buffer[4096];
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

bool TcpPort::SendLine(std::string_view line) {
  if (fd_ < 0 && !Connect()) return false;
  if (!DrainReplies()) {
    problem_ = "the connection to " + host_ + ":" + port_ + " was closed";
    Close();
    return false;
  }
  if (WriteAll(fd_, WithCr(line), true)) return true;
  problem_ = host_ + ":" + port_ + ": " + problem_;
  Close();
  return false;
}

// --- file: -------------------------------------------------------------------

std::unique_ptr<FilePort> FilePort::Open(const std::string& path, LinkProblem& problem) {
  // Without blocking: a FIFO nobody reads is refused rather than waited
  // for, and one whose reader stops reading fails the line as a stalled
  // device does.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    problem = {LinkProblem::Kind::kCannotOpen, {}, path, static_cast<std::uint32_t>(errno)};
    return nullptr;
  }
  return std::unique_ptr<FilePort>(new FilePort(fd, path));
}

FilePort::~FilePort() { ::close(fd_); }

bool FilePort::SendLine(std::string_view line) {
  if (WriteAll(fd_, WithCr(line), false)) return true;
  problem_ = path_ + ": " + problem_;
  return false;
}

}  // namespace qmt
