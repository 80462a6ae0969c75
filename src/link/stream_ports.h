// Ports that carry whole lines as a byte stream instead of the parallel
// port's handshake: each line's bytes, then a carriage return, as the device
// receives them.
//
//   lp:PATH              a printer-class device (/dev/usb/lp0, /dev/lp0) that
//                        does the BUSY/STROBE handshake itself
//   tcp:HOST:PORT        a TCP connection, to `qmt serve`, `qmtsim --listen`
//                        or a network adapter in front of a device
//   file:PATH            the bytes written to a file (created or emptied)
//
// A device that takes none of a line's bytes for kStallMs (what it takes is
// read from its queue where the descriptor tells, as a pipe, a terminal or
// a socket does), a peer that has
// closed or refused the connection, or a device that nobody reads, fails
// the line, as a device that stays BUSY fails it on the parallel port.  The
// next line opens or connects again, so the link comes back when the user
// asks for it again.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "link/link_problem.h"

namespace qmt {

class StreamPort {
 public:
  // The parallel port's wait for one byte: 101 readings 1 ms apart.
  static constexpr int kStallMs = 101;
  // How long a TCP connection may take to be set up.
  static constexpr int kConnectMs = 1000;

  virtual ~StreamPort();
  // The line's bytes as they are (zero and 13 included), then 13.  False
  // when the device did not take them; Problem() then says why.
  virtual bool SendLine(std::string_view line) = 0;
  const std::string& Problem() const { return problem_; }

 protected:
  // Writes all of `bytes` to the non-blocking descriptor, waiting at most
  // kStallMs for the device to take more.  Sets the problem and returns false
  // on a stall or an error.  `socket` sends without SIGPIPE.
  bool WriteAll(int fd, std::string_view bytes, bool socket);
  std::string problem_;
};

// lp:PATH.  The device file is opened when the port is made (a missing or
// refused file is reported then) and again after a failed line.
class LpPort : public StreamPort {
 public:
  // Null with `problem` naming the file and errno when it cannot be used.  A device that
  // nobody reads (a FIFO without a reader) is not an error here: its lines
  // fail until a reader is there.
  static std::unique_ptr<LpPort> Open(const std::string& path, LinkProblem& problem);
  ~LpPort() override;
  bool SendLine(std::string_view line) override;
  bool IsOpen() const { return fd_ >= 0; }

 private:
  explicit LpPort(std::string path) : path_(std::move(path)) {}
  // 0 when open, else the errno of the failed open.
  int Reopen();
  void Close();
  std::string path_;
  int fd_ = -1;
};

// tcp:HOST:PORT (or tcp:PORT for 127.0.0.1).  Connects at the first line
// and again at the first line after a failure.  Replies the peer sends are
// read and discarded.
class TcpPort : public StreamPort {
 public:
  // Null with `problem` set when the address cannot be read; nothing is
  // connected yet.
  static std::unique_ptr<TcpPort> Open(std::string_view address, LinkProblem& problem);
  ~TcpPort() override;
  bool SendLine(std::string_view line) override;
  bool Connected() const { return fd_ >= 0; }

 private:
  TcpPort(std::string host, std::string port) : host_(std::move(host)), port_(std::move(port)) {}
  bool Connect();
  void Close();
  // Reads what the peer sent; false when it has closed the connection.
  bool DrainReplies();
  std::string host_;
  std::string port_;
  int fd_ = -1;
};

// file:PATH.  Lines and their carriage returns go to the file in order; a
// FIFO whose reader stops reading fails the line as a stalled device does.
class FilePort : public StreamPort {
 public:
  static std::unique_ptr<FilePort> Open(const std::string& path, LinkProblem& problem);
  ~FilePort() override;
  bool SendLine(std::string_view line) override;

 private:
  FilePort(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

// Splits "HOST:PORT", "[V6]:PORT" or "PORT" (HOST then `defaultHost`).
// False when the port is not a number from 0 to 65535 or a part is missing.
bool SplitHostPort(std::string_view text, std::string_view defaultHost, std::string& host,
                   std::string& port);

}  // namespace qmt
