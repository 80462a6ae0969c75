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

class TcpTransport : public StreamTransport {
 public:
  static std::unique_ptr<StreamTransport> Make(std::string_view arg, std::string& error) {
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
    error.clear();
    return std::unique_ptr<StreamTransport>(new TcpTransport(fd, "tcp:" + PeerName(bound)));
  }

  ~TcpTransport() override { ::close(listener_); }
  const std::string& Address() const override { return address_; }
  int WaitDescriptor() const override { return listener_; }

  Client Take(bool& hungUp) override {
    hungUp = false;
    for (;;) {
      sockaddr_storage addr{};
      socklen_t len = sizeof addr;
      int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) return {fd, PeerName(addr), {}};
      if (errno != EINTR && errno != ECONNABORTED) return {};
    }
  }

  // What the refused client sends after this fails on its side.
  void Refuse(const Client& client) override {
    ::send(client.fd, StreamServer::kRefusal.data(), StreamServer::kRefusal.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(client.fd);
  }

  void Release(int fd) override { ::close(fd); }

 private:
  TcpTransport(int listener, std::string address) : listener_(listener), address_(std::move(address)) {}
  int listener_;
  std::string address_;
};

// The client is whoever has the terminal open; it shows itself by the first
// bytes it writes and has gone when the terminal hangs up.
class PtyTransport : public StreamTransport {
 public:
  static std::unique_ptr<StreamTransport> Make(std::string_view link, bool hasLink, std::string& error) {
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
    std::unique_ptr<PtyTransport> pty(new PtyTransport(fd, name));
    if (hasLink && !pty->MakeLink(std::string(link), error)) return nullptr;
    return pty;
  }

  ~PtyTransport() override {
    if (!link_.empty()) {
      char target[256];
      ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
      if (n >= 0 && std::string_view(target, static_cast<std::size_t>(n)) == address_) ::unlink(link_.c_str());
    }
    ::close(master_);
  }

  const std::string& Address() const override { return address_; }
  int WaitDescriptor() const override { return taken_ ? -1 : master_; }

  Client Take(bool& hungUp) override {
    hungUp = false;
    if (taken_) return {};
    char buffer[kChunk];
    for (;;) {
      ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got > 0) {
        taken_ = true;
        return {master_, address_, std::string(buffer, static_cast<std::size_t>(got))};
      }
      if (got < 0 && errno == EINTR) continue;
      // EIO: nobody has the terminal open.
      hungUp = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      return {};
    }
  }

  void Refuse(const Client&) override {}

  // Replies the client left unread would wait in the terminal for the next
  // one: they are flushed on the terminal's side, which only its holder can.
  void Release(int) override {
    taken_ = false;
    int terminal = ::open(address_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal >= 0) {
      ::tcflush(terminal, TCIFLUSH);
      ::close(terminal);
    }
  }

 private:
  PtyTransport(int master, std::string address) : master_(master), address_(std::move(address)) {}

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

  int master_;
  std::string address_;
  std::string link_;
  bool taken_ = false;
};

}  // namespace

StreamServer::StreamServer(std::unique_ptr<StreamTransport> transport) : transport_(std::move(transport)) {
  assembler_.SetLineHandler([this](std::string_view line) {
    ++lines_;
    if (line_) line_(line);
  });
  assembler_.SetDropHandler([this](std::size_t bytes) { Emit(Event::kLineDropped, std::to_string(bytes)); });
}

StreamServer::~StreamServer() {
  if (client_.fd >= 0) transport_->Release(client_.fd);
}

std::unique_ptr<StreamServer> StreamServer::Listen(std::string_view address, std::string& error) {
  error.clear();
  std::unique_ptr<StreamTransport> transport;
  if (address.substr(0, 4) == "tcp:") {
    transport = TcpTransport::Make(address.substr(4), error);
  } else if (address == "pty") {
    transport = PtyTransport::Make({}, false, error);
  } else if (address.substr(0, 4) == "pty:") {
    transport = PtyTransport::Make(address.substr(4), true, error);
  } else {
    error = "'" + std::string(address) + "' is no address to listen on (give tcp:[HOST:]PORT or pty[:LINK])";
  }
  if (!transport) return nullptr;
  return std::make_unique<StreamServer>(std::move(transport));
}

std::vector<StreamServer::Wait> StreamServer::Waits() const {
  std::vector<Wait> waits;
  int w = transport_->WaitDescriptor();
  if (w >= 0 && !Idle()) waits.push_back({w, true, false});
  if (client_.fd >= 0) waits.push_back({client_.fd, replies_.size() < kReplyBacklog, !replies_.empty()});
  return waits;
}

bool StreamServer::Serve(int timeoutMs, const sigset_t* mask, int watch) {
  pollfd fds[3];
  nfds_t n = 0;
  int waitAt = -1, clientAt = -1;
  // Asks for no event: only an error or a hang-up is reported.
  if (watch >= 0) fds[n++] = {watch, 0, 0};
  const nfds_t watched = n;
  if (int w = transport_->WaitDescriptor(); w >= 0) {
    waitAt = static_cast<int>(n);
    fds[n++] = {w, POLLIN, 0};
  }
  if (client_.fd >= 0) {
    clientAt = static_cast<int>(n);
    fds[n++] = {client_.fd,
                static_cast<short>((replies_.size() < kReplyBacklog ? POLLIN : 0) | (replies_.empty() ? 0 : POLLOUT)),
                0};
  }
  auto start = std::chrono::steady_clock::now();
  if (PollFor(fds, n, timeoutMs, mask) < 0) return errno != EINTR;
  if (watched > 0 && fds[0].revents != 0) return true;
  if (clientAt >= 0 && fds[clientAt].revents != 0) ServeClient();
  if (waitAt >= 0 && fds[waitAt].revents != 0) TakeClients();
  if (Idle() && timeoutMs != 0) {
    // Nothing to wait on (a terminal nobody has open reads as hung up at
    // once): wait a little rather than spin, for the watched descriptor only.
    int spent = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    int rest = timeoutMs < 0 ? kIdleMs : std::min(kIdleMs, timeoutMs - spent);
    if (rest > 0 && PollFor(fds, watched, rest, mask) < 0 && errno == EINTR) return false;
  }
  return true;
}

void StreamServer::TakeClients() {
  for (;;) {
    bool hungUp = false;
    StreamTransport::Client client = transport_->Take(hungUp);
    idle_ = hungUp;
    if (client.fd < 0) return;
    // The client being served may have left just before this one came:
    // its close, read now, frees the place for this one.
    if (client_.fd >= 0) ServeClient();
    if (client_.fd >= 0) {
      transport_->Refuse(client);
      Emit(Event::kClientRefused, client.peer);
      continue;
    }
    std::string first = std::move(client.first);
    client_ = std::move(client);
    Emit(Event::kClientConnected, client_.peer);
    if (!first.empty()) {
      assembler_.Feed(first);
      if (client_.fd >= 0 && !replies_.empty() && !FlushReplies()) EndClient();
    }
  }
}

void StreamServer::ServeClient() {
  char buffer[kChunk];
  std::size_t taken = 0;
  while (client_.fd >= 0 && taken < kReadBudget && replies_.size() < kReplyBacklog) {
    ssize_t got = ::read(client_.fd, buffer, sizeof buffer);
    if (got > 0) {
      assembler_.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
      taken += static_cast<std::size_t>(got);
      if (client_.fd >= 0 && !replies_.empty() && !FlushReplies()) EndClient();
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    EndClient();  // closed, reset, or (a terminal) hung up
  }
  if (client_.fd >= 0 && !replies_.empty() && !FlushReplies()) EndClient();
}

void StreamServer::Reply(std::string_view bytes) {
  if (client_.fd >= 0) replies_.append(bytes);
}

bool StreamServer::FlushReplies() {
  while (!replies_.empty()) {
    ssize_t n = ::send(client_.fd, replies_.data(), replies_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = ::write(client_.fd, replies_.data(), replies_.size());
    if (n > 0) {
      replies_.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

void StreamServer::EndClient() {
  std::size_t cut = assembler_.Discard();
  if (cut > 0) Emit(Event::kLineCut, std::to_string(cut));
  transport_->Release(client_.fd);
  std::string peer = std::move(client_.peer);
  client_ = {};
  replies_.clear();
  replies_.shrink_to_fit();
  ++served_;
  Emit(Event::kClientLeft, peer);
}

}  // namespace qmt
