#include "link/stream_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "link/stream_ports.h"

namespace qmt {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
// A pseudo-terminal nobody has open reads as hung up at once; while waiting
// for a client the server looks again this often.
constexpr int kPtyIdleMs = 10;

// ppoll with a millisecond timeout (-1: none).
int PollFor(pollfd* fds, nfds_t n, int timeoutMs, const sigset_t* mask) {
  timespec ts{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
  return ::ppoll(fds, n, timeoutMs < 0 ? nullptr : &ts, mask);
}

std::string PeerName(const sockaddr_storage& addr) {
  char host[NI_MAXHOST], port[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return "?";
  std::string h = host;
  if (h.find(':') != std::string::npos) h = "[" + h + "]";
  return h + ":" + port;
}

class TcpServer : public StreamServer {
 public:
  static std::unique_ptr<StreamServer> Make(std::string_view arg, std::string& error) {
    std::string host, port;
    if (!SplitHostPort(arg, "127.0.0.1", host, port)) {
      error = "'tcp:" + std::string(arg) + "' is no address (give tcp:[HOST:]PORT, such as tcp:3308)";
      return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    int gai = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (gai != 0) {
      error = "cannot find " + host + ": " + ::gai_strerror(gai);
      return nullptr;
    }
    int fd = -1;
    error = "cannot listen on " + host + ":" + port;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
      fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = "cannot listen on " + host + ":" + port + ": " + std::strerror(errno);
        ::close(fd);
        fd = -1;
      }
    }
    ::freeaddrinfo(found);
    if (fd < 0) return nullptr;
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    std::unique_ptr<TcpServer> server(new TcpServer(fd));
    server->address_ = "tcp:" + PeerName(bound);
    error.clear();
    return server;
  }

  ~TcpServer() override {
    if (client_ >= 0) ::close(client_);
    ::close(listener_);
  }

  bool Serve(int timeoutMs, const sigset_t* mask) override {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {client_, 0, 0}};
    nfds_t n = 1;
    if (client_ >= 0) {
      fds[1].events = static_cast<short>((replies_.size() < kReplyBacklog ? POLLIN : 0) |
                                         (replies_.empty() ? 0 : POLLOUT));
      n = 2;
    }
    int r = PollFor(fds, n, timeoutMs, mask);
    if (r < 0) return errno != EINTR;
    if (n == 2 && fds[1].revents != 0) ServeClient();
    if (fds[0].revents & POLLIN) Accept();
    return true;
  }

 private:
  explicit TcpServer(int listener) : listener_(listener) {}

  void Accept() {
    for (;;) {
      sockaddr_storage addr{};
      socklen_t len = sizeof addr;
      int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      // The client being served may have left just before this one came:
      // its close, read now, frees the place for this one.
      if (client_ >= 0) ServeClient();
      if (client_ >= 0) {
        Refuse(fd);
        Emit(Event::kClientRefused, PeerName(addr));
        continue;
      }
      client_ = fd;
      peer_ = PeerName(addr);
      Emit(Event::kClientConnected, peer_);
    }
  }

  // A client that cannot be served is told so before it is closed; what it
  // sends after that fails on its side.
  static void Refuse(int fd) {
    ::send(fd, kRefusal.data(), kRefusal.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(fd);
  }

  void ServeClient() {
    char buffer[kChunk];
    std::size_t taken = 0;
    while (client_ >= 0 && taken < kReadBudget && replies_.size() < kReplyBacklog) {
      ssize_t got = ::recv(client_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (got > 0) {
        Take(std::string_view(buffer, static_cast<std::size_t>(got)));
        taken += static_cast<std::size_t>(got);
        if (!replies_.empty() && !FlushReplies()) EndClient(true);
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      EndClient(true);  // closed, or reset
    }
    if (client_ >= 0 && !replies_.empty() && !FlushReplies()) EndClient(true);
  }

  int listener_;
};

class PtyServer : public StreamServer {
 public:
  static std::unique_ptr<StreamServer> Make(std::string_view link, bool hasLink, std::string& error) {
    if (hasLink && link.empty()) {
      error = "'pty:' names no path for the link (give pty or pty:PATH)";
      return nullptr;
    }
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
      error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      if (fd >= 0) ::close(fd);
      return nullptr;
    }
    // Raw mode: every byte passes as it is, 13 and 10 included.  Set through
    // the master, which applies it to the terminal the client opens.
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(fd, TCSANOW, &t);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::unique_ptr<PtyServer> server(new PtyServer(fd));
    server->address_ = name;
    if (hasLink && !server->MakeLink(std::string(link), error)) return nullptr;
    return server;
  }

  ~PtyServer() override {
    if (!link_.empty()) {
      char target[256];
      ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
      if (n >= 0 && std::string_view(target, static_cast<std::size_t>(n)) == address_) ::unlink(link_.c_str());
    }
    ::close(master_);
  }

  bool Serve(int timeoutMs, const sigset_t* mask) override {
    pollfd fd{master_, static_cast<short>(POLLIN | (replies_.empty() ? 0 : POLLOUT)), 0};
    if (replies_.size() >= kReplyBacklog) fd.events = POLLOUT;
    auto start = std::chrono::steady_clock::now();
    int r = PollFor(&fd, 1, timeoutMs, mask);
    if (r < 0) return errno != EINTR;
    if (fd.revents & POLLIN) Read();
    if (client_ >= 0 && !replies_.empty()) FlushReplies();
    if ((fd.revents & (POLLHUP | POLLIN)) == POLLHUP) {
      if (client_ >= 0) {
        ClientGone();
      } else if (timeoutMs != 0) {
        // Nobody has the terminal open: wait a little rather than spin.
        int spent = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count());
        int rest = timeoutMs < 0 ? kPtyIdleMs : std::min(kPtyIdleMs, timeoutMs - spent);
        if (rest > 0 && PollFor(nullptr, 0, rest, mask) < 0 && errno == EINTR) return false;
      }
    }
    return true;
  }

 private:
  explicit PtyServer(int master) : master_(master) {}

  bool MakeLink(const std::string& link, std::string& error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      error = link + " exists and is not a symbolic link; it is left as it is";
      return false;
    }
    std::string temp = link + ".new-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(address_.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
      error = "cannot make the link " + link + ": " + std::strerror(errno);
      ::unlink(temp.c_str());
      return false;
    }
    link_ = link;
    return true;
  }

  // Replies the client left unread would wait in the terminal for the next
  // one: they are flushed on the terminal's side, which only its holder can.
  void ClientGone() {
    EndClient(false);
    int terminal = ::open(address_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal >= 0) {
      ::tcflush(terminal, TCIFLUSH);
      ::close(terminal);
    }
  }

  void Read() {
    char buffer[kChunk];
    std::size_t taken = 0;
    while (taken < kReadBudget && replies_.size() < kReplyBacklog) {
      ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got > 0) {
        if (client_ < 0) {
          // The first bytes since the terminal was last hung up: a client.
          client_ = master_;
          peer_ = address_;
          Emit(Event::kClientConnected, peer_);
        }
        Take(std::string_view(buffer, static_cast<std::size_t>(got)));
        taken += static_cast<std::size_t>(got);
        if (!replies_.empty()) FlushReplies();
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      // EIO: the last holder of the terminal has closed it.
      if (client_ >= 0) ClientGone();
      return;
    }
  }

  int master_;
  std::string link_;
};

}  // namespace

StreamServer::StreamServer() {
  assembler_.SetLineHandler([this](std::string_view line) {
    ++lines_;
    if (line_) line_(line);
  });
  assembler_.SetDropHandler([this](std::size_t bytes) { Emit(Event::kLineDropped, std::to_string(bytes)); });
}

StreamServer::~StreamServer() = default;

std::unique_ptr<StreamServer> StreamServer::Listen(std::string_view address, std::string& error) {
  error.clear();
  if (address.substr(0, 4) == "tcp:") return TcpServer::Make(address.substr(4), error);
  if (address == "pty") return PtyServer::Make({}, false, error);
  if (address.substr(0, 4) == "pty:") return PtyServer::Make(address.substr(4), true, error);
  error = "'" + std::string(address) + "' is no address to listen on (give tcp:[HOST:]PORT or pty[:LINK])";
  return nullptr;
}

void StreamServer::Reply(std::string_view bytes) {
  if (client_ >= 0) replies_.append(bytes);
}

bool StreamServer::FlushReplies() {
  while (!replies_.empty()) {
    ssize_t n = ::send(client_, replies_.data(), replies_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = ::write(client_, replies_.data(), replies_.size());
    if (n > 0) {
      replies_.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

void StreamServer::EndClient(bool closeFd) {
  std::size_t cut = assembler_.Discard();
  if (cut > 0) Emit(Event::kLineCut, std::to_string(cut));
  if (closeFd && client_ >= 0) ::close(client_);
  client_ = -1;
  replies_.clear();
  replies_.shrink_to_fit();
  ++served_;
  Emit(Event::kClientLeft, peer_);
}

}  // namespace qmt
