// Register access to a parallel port, one byte at a time, and the
// millisecond wait the handshake spends between BUSY readings.  The
// transmitter knows nothing else of the machine, so each way of reaching a
// port (the kernel's ppdev interface, port instructions, the virtual device,
// no device at all, a test recorder) is one implementation of this.
#pragma once

#include <cstdint>

namespace qmt {

class PortIo {
 public:
  virtual ~PortIo() = default;

  // `port` is the absolute port number: base + 0 data, base + 1 status,
  // base + 2 control, base + 3 (granted, never used).
  virtual std::uint8_t In(std::uint16_t port) = 0;
  virtual void Out(std::uint16_t port, std::uint8_t value) = 0;

  // Waits `ms` milliseconds (the handshake only ever asks for 1).
  virtual void SleepMs(unsigned ms) = 0;
};

}  // namespace qmt
