// The emulated device on the wire: a stream server's lines executed on a
// device exactly as they arrive, as a real device executes what its port
// receives.  `qmt serve` and `qmtsim --listen` are two faces of this.
//
// Nothing goes back to the client unless replies are asked for; then each
// line gets one reply line, "ok" or the device's message (code page 932),
// ended by CR LF.  A line dropped for its length is answered with
// LineTooLongMessage().
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "device/qmt3308.h"
#include "link/stream_server.h"

namespace qmt {

class WireDevice {
 public:
  // A line and its outcome: `error` is null when the device took it.
  using LineReport = std::function<void(std::string_view line, const std::string* error)>;
  using EventReport = std::function<void(StreamServer::Event event, const std::string& detail)>;

  // Takes over the server's handlers.  Both objects must outlive this one.
  WireDevice(StreamServer& server, TQMT3308& device, bool replies = false);

  void SetLineReport(LineReport report) { lineReport_ = std::move(report); }
  void SetEventReport(EventReport report) { eventReport_ = std::move(report); }

  std::size_t Lines() const { return lines_; }
  std::size_t Errors() const { return errors_; }
  // Lines lost: over the line limit, or cut short by their client leaving.
  std::size_t Dropped() const { return dropped_; }

  // "コマンド行が長すぎる" (code page 932).
  static const std::string& LineTooLongMessage();
  // What a server event says: in English for messages (qmt serve, the
  // window's standard error), in Japanese (code page 932) for the window's
  // log.
  static std::string EventText(StreamServer::Event event, const std::string& detail);
  static std::string EventNote(StreamServer::Event event, const std::string& detail);

 private:
  void Execute(std::string_view line);
  void Event(StreamServer::Event event, const std::string& detail);

  StreamServer& server_;
  TQMT3308& device_;
  bool replies_;
  std::size_t lines_ = 0;
  std::size_t errors_ = 0;
  std::size_t dropped_ = 0;
  LineReport lineReport_;
  EventReport eventReport_;
};

}  // namespace qmt
