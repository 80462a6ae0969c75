// A device inside the process: it answers the handshake at once, latches
// the data register when STROBE becomes active and gathers the bytes into
// lines ended by a carriage return.  GI and DI lines carry 32 and 128 raw
// pattern bytes straight after the mnemonic; those are taken as data even
// when they are 13, as the real device must.  Every finished line goes to the
// line handler, which the program wires to an emulated device of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/port_io.h"

namespace qmt {

class VirtualDevice : public PortIo {
 public:
  using LineHandler = std::function<void(std::string_view line)>;

  explicit VirtualDevice(std::uint16_t base = 0x378);

  std::uint8_t In(std::uint16_t port) override;
  void Out(std::uint16_t port, std::uint8_t value) override;
  void SleepMs(unsigned) override {}

  // The line without its carriage return.
  void SetLineHandler(LineHandler handler) { handler_ = std::move(handler); }
  std::size_t LinesReceived() const { return lines_; }
  // Bytes of a line not yet ended.
  const std::string& Pending() const { return pending_; }

  // One latched byte, as if strobed in.
  void Receive(std::uint8_t byte);

  // Raw bytes that follow the mnemonic of a pattern line (0 for others).
  static std::size_t PatternBytes(std::string_view lineStart);

 private:
  std::uint16_t base_;
  std::uint8_t data_ = 0xFF;
  std::uint8_t control_ = 0x0F;
  std::string pending_;
  std::size_t lines_ = 0;
  LineHandler handler_;
};

}  // namespace qmt
