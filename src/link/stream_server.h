// The receiving end of a stream link: the program as a device on the wire.
// It listens on a TCP address or a pseudo-terminal, serves one client at a
// time, assembles the bytes that arrive into command lines as the device
// does (line_assembler.h) and hands each line on.  It knows nothing of what
// a line means; the caller executes it and may answer with a reply.
//
// Nothing here blocks for longer than the wait the caller gives: Serve()
// polls, reads what is there (up to a bounded amount) and returns, so a
// window can call it from a timer and a command-line tool in a loop.
#pragma once

#include <signal.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/line_assembler.h"

namespace qmt {

// Where clients come from: a listening socket, or a pseudo-terminal whose
// far end a client opens.  The server holds the one read loop, the replies
// and the limits; a transport only hands over clients and takes them back.
class StreamTransport {
 public:
  struct Client {
    int fd = -1;
    std::string peer;
    std::string first;  // bytes the transport had to read to see the client
  };
  virtual ~StreamTransport() = default;
  virtual const std::string& Address() const = 0;
  // The descriptor on which a new client shows itself (readable), -1 while
  // none can come.
  virtual int WaitDescriptor() const = 0;
  // A client that has come, or fd -1.  `hungUp`: the wait descriptor reads
  // as hung up with nobody there (a terminal nobody has open).
  virtual Client Take(bool& hungUp) = 0;
  // Tells a client that cannot be served why, and lets it go.
  virtual void Refuse(const Client& client) = 0;
  // The client being served has gone.
  virtual void Release(int fd) = 0;
};

class StreamServer {
 public:
  enum class Event {
    kClientConnected,  // detail: the peer ("127.0.0.1:40312", or the pty's path)
    kClientRefused,    // a second client, told kRefusal and closed; detail: the peer
    kClientLeft,       // detail: the peer
    kLineCut,          // the client left mid-line; detail: the bytes lost
    kLineDropped,      // a line over the line limit; detail: its length
  };
  using LineHandler = std::function<void(std::string_view line)>;
  using EventHandler = std::function<void(Event event, const std::string& detail)>;

  // ADDRESS is "tcp:[HOST:]PORT" (HOST 127.0.0.1 unless named; PORT 0 lets
  // the system choose) or "pty[:LINK]" (a pseudo-terminal in raw mode; with
  // LINK also a symbolic link to it there, replacing a symbolic link but no
  // other file).  Null with `error` set when it cannot be set up.
  static std::unique_ptr<StreamServer> Listen(std::string_view address, std::string& error);
  // Address texts to offer when completing a --listen value.
  static std::vector<std::string> AddressExamples() { return {"tcp:0", "tcp:127.0.0.1:", "pty", "pty:"}; }
  explicit StreamServer(std::unique_ptr<StreamTransport> transport);
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  // "tcp:HOST:PORT" with the port actually bound, or the pty's device path.
  const std::string& Address() const { return transport_->Address(); }

  void SetLineHandler(LineHandler handler) { line_ = std::move(handler); }
  void SetEventHandler(EventHandler handler) { events_ = std::move(handler); }

  // Waits up to `timeoutMs` (0: not at all, -1: until something happens)
  // for a client or its bytes, then handles what has arrived, at most
  // kReadBudget bytes.  With `mask` the wait runs with that signal mask
  // (ppoll), so a signal blocked otherwise can end it; returns false when a
  // signal did.  `watch`, when not -1, is a descriptor of the caller's
  // whose error or hang-up (the reader of a pipe gone) also ends the wait;
  // the caller looks at it.
  bool Serve(int timeoutMs, const sigset_t* mask = nullptr, int watch = -1);

  // For a caller with a loop of its own (the window): the descriptors that
  // Serve(0) should be called for when they are ready, with the events that
  // matter.  While Idle(), nothing can be waited on: call Serve(0) again
  // after kIdleMs.
  struct Wait {
    int fd;
    bool read, write;
  };
  std::vector<Wait> Waits() const;
  bool Idle() const { return idle_ && client_.fd < 0; }
  static constexpr int kIdleMs = 10;

  // Queues a reply to the client being served (the line end is the
  // caller's).  Replies go out as the client takes them; while more than
  // kReplyBacklog bytes wait, the client's input is not read.
  void Reply(std::string_view bytes);

  bool HasClient() const { return client_.fd >= 0; }
  // Reply bytes the client has not taken yet.
  std::size_t RepliesWaiting() const { return replies_.size(); }
  // Clients that have come and gone.
  std::size_t ClientsServed() const { return served_; }
  std::size_t LinesReceived() const { return lines_; }

  // What a refused client reads before its connection is closed.
  static constexpr std::string_view kRefusal = "refused: another client is being served\r\n";
  static constexpr std::size_t kReadBudget = 1 << 20;
  static constexpr std::size_t kReplyBacklog = 1 << 20;

 private:
  void Emit(Event event, const std::string& detail) {
    if (events_) events_(event, detail);
  }
  // Takes the clients that have come: the first is served, the rest refused.
  void TakeClients();
  // The one read loop: the client's bytes, as many as the budget allows.
  void ServeClient();
  // Writes queued replies as far as the client takes them; false when the
  // client can no longer be written to.
  bool FlushReplies();
  // The client is gone: forgets its unfinished line and its replies.
  void EndClient();

  std::unique_ptr<StreamTransport> transport_;
  StreamTransport::Client client_;
  bool idle_ = false;  // the wait descriptor read as hung up with nobody there
  std::string replies_;
  std::size_t served_ = 0;
  std::size_t lines_ = 0;
  LineAssembler assembler_;
  LineHandler line_;
  EventHandler events_;
};

}  // namespace qmt
