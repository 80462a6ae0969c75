// The framing of the Debug Adapter Protocol and of the Language Server
// Protocol's base protocol: each message is a header block
// ("Content-Length: N", other header lines allowed, ended by an empty line,
// every line ended by CR LF) followed by N bytes of JSON.  The reader takes
// bytes as they arrive and hands out whole bodies; what cannot be a message
// is reported once and skipped up to the next header, so a broken client
// can neither crash nor stall the server.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qmt::protocol {

inline constexpr std::size_t kMaxHeaderBytes = 1024;
inline constexpr std::size_t kMaxBodyBytes = 16u << 20;

class MessageReader {
 public:
  enum class Result { kNeedMore, kMessage, kError };

  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // The next message body, or the text of a framing error (English).
  Result Next(std::string& out);
  // Bytes received and not yet handed out.
  std::size_t Pending() const { return buffer_.size(); }

 private:
  // Drops bytes up to the next header that may start a message.
  void Resync();

  std::string buffer_;
  std::size_t bodyLength_ = 0;
  bool inBody_ = false;
};

// Frames a body for sending.
std::string Frame(std::string_view body);

}  // namespace qmt::protocol
