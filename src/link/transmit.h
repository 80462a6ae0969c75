// Sending command lines to a real device over the parallel port: the
// BUSY/STROBE handshake for each byte and the carriage return after each
// line.  Register values, their order and the waits are fixed; how they reach
// the hardware is the PortIo's business.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "link/port_io.h"

namespace qmt {

class PortTransmitter {
 public:
  static constexpr std::uint16_t kDefaultBase = 0x378;
  // Byte k is what was last written to register base + k: data 0xFF, status
  // 0xFF (never written), control 0x0F.
  static constexpr std::uint32_t kInitialImage = 0x000FFFFF;
  // Readings of BUSY before a byte is given up, with a 1 ms wait after each.
  static constexpr int kBusyReadings = 101;
  static constexpr int kStrobeActiveWrites = 24;
  static constexpr int kStrobeIdleWrites = 16;

  // Runs once, before the first register access, for ports base..base + 3.
  using Grant = std::function<void(std::uint16_t first, std::uint16_t last)>;

  explicit PortTransmitter(PortIo& port, Grant grant = {},
                           std::uint16_t base = kDefaultBase);

  // Pins 0-31 are bit (b mod 8) of register b / 8; 32-63 are the same pins
  // with the opposite sense.  Setting a pin means the high level on the
  // connector: the inverted control lines 16, 17 and 19 are compensated.
  void SetPin(unsigned pin);
  void ClearPin(unsigned pin);
  // Writes byte `reg` (0-3) of `value` to port base + reg.
  void WriteRegister(unsigned reg, std::uint32_t value);
  // Reads the pin's register; pin 15 reads true while the device is busy.
  bool ReadPin(unsigned pin);
  bool DeviceBusy();

  // One handshake: false when the device stayed busy through every reading
  // (the byte has been strobed out all the same).
  bool SendByte(std::uint8_t c);
  // The bytes of `line` as they are (zero and 13 included), then 13.  Stops
  // at the first byte that fails.
  bool SendLine(std::string_view line);

  // First use: fixes the base and runs the grant.  Every register access
  // calls it; calling it directly lets a caller grant up front.
  void EnsureReady();
  bool Ready() const { return ready_; }
  std::uint16_t Base() const { return base_; }
  std::uint32_t Image() const { return image_; }

 private:
  PortIo& port_;
  Grant grant_;
  std::uint16_t base_;
  bool ready_ = false;
  std::uint32_t image_ = kInitialImage;
};

}  // namespace qmt
