#include "link/virtual_device.h"

namespace qmt {
namespace {

// Status register of an idle device: BUSY low (bit 7 reads 1), ACK high,
// selected, no error.
constexpr std::uint8_t kIdleStatus = 0xD8;
constexpr std::uint8_t kStrobeBit = 0x01;

}  // namespace

VirtualDevice::VirtualDevice(std::uint16_t base) : base_(base) {}

std::uint8_t VirtualDevice::In(std::uint16_t port) {
  switch (static_cast<std::uint16_t>(port - base_)) {
    case 0: return data_;
    case 1: return kIdleStatus;
    case 2: return control_;
    default: return 0xFF;
  }
}

void VirtualDevice::Out(std::uint16_t port, std::uint8_t value) {
  switch (static_cast<std::uint16_t>(port - base_)) {
    case 0:
      data_ = value;
      break;
    case 2: {
      // The control bit is inverted by the port: set means STROBE low.
      bool strobeNow = value & kStrobeBit;
      bool strobeBefore = control_ & kStrobeBit;
      control_ = value;
      if (strobeNow && !strobeBefore) Receive(data_);
      break;
    }
    default:
      break;
  }
}

std::size_t VirtualDevice::PatternBytes(std::string_view lineStart) {
  if (lineStart.size() < 2) return 0;
  if (lineStart[0] == 'G' && lineStart[1] == 'I') return 32;
  if (lineStart[0] == 'D' && lineStart[1] == 'I') return 128;
  return 0;
}

void VirtualDevice::Receive(std::uint8_t byte) {
  bool inPattern = pending_.size() >= 2 && pending_.size() < 2 + PatternBytes(pending_);
  if (byte == 13 && !inPattern) {
    ++lines_;
    std::string line = std::move(pending_);
    pending_.clear();
    if (handler_) handler_(line);
    return;
  }
  pending_.push_back(static_cast<char>(byte));
}

}  // namespace qmt
