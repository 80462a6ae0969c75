#include "link/transmit.h"

#include <utility>

namespace qmt {
namespace {

// STROBE, AUTOFEED and SELECT IN are inverted by the port hardware.
bool IsInvertedControlPin(unsigned pin) { return pin == 16 || pin == 17 || pin == 19; }

constexpr unsigned kBusyPin = 15;
constexpr unsigned kStrobePin = 16;

}  // namespace

PortTransmitter::PortTransmitter(PortIo& port, Grant grant, std::uint16_t base)
    : port_(port), grant_(std::move(grant)), base_(base) {}

void PortTransmitter::EnsureReady() {
  if (ready_) return;
  // Set before granting: a grant that fails is neither retried nor reported,
  // the ports are simply tried as they are.
  ready_ = true;
  if (grant_) grant_(base_, static_cast<std::uint16_t>(base_ + 3));
}

void PortTransmitter::SetPin(unsigned pin) {
  if (pin >= 32) {
    ClearPin(pin % 32);
    return;
  }
  if (IsInvertedControlPin(pin))
    image_ &= ~(std::uint32_t{1} << pin);
  else
    image_ |= std::uint32_t{1} << pin;
  WriteRegister(pin / 8, image_);
}

void PortTransmitter::ClearPin(unsigned pin) {
  if (pin >= 32) {
    SetPin(pin % 32);
    return;
  }
  if (IsInvertedControlPin(pin))
    image_ |= std::uint32_t{1} << pin;
  else
    image_ &= ~(std::uint32_t{1} << pin);
  WriteRegister(pin / 8, image_);
}

void PortTransmitter::WriteRegister(unsigned reg, std::uint32_t value) {
  EnsureReady();
  reg %= 4;
  port_.Out(static_cast<std::uint16_t>(base_ + reg),
            static_cast<std::uint8_t>(value >> (8 * reg)));
}

bool PortTransmitter::ReadPin(unsigned pin) {
  if (pin >= 32) return !ReadPin(pin % 32);
  EnsureReady();
  std::uint8_t reg = port_.In(static_cast<std::uint16_t>(base_ + pin / 8));
  bool set = (reg >> (pin % 8)) & 1;
  return pin == kBusyPin ? !set : set;
}

bool PortTransmitter::DeviceBusy() { return ReadPin(kBusyPin); }

bool PortTransmitter::SendByte(std::uint8_t c) {
  SetPin(kStrobePin);
  bool answered = false;
  for (int i = 0; i < kBusyReadings; ++i) {
    if (!DeviceBusy()) {
      answered = true;
      break;
    }
    port_.SleepMs(1);
  }
  // The byte goes out even to a device that never answered; the image keeps
  // its data byte.
  WriteRegister(0, c);
  for (int i = 0; i < kStrobeActiveWrites; ++i) ClearPin(kStrobePin);
  for (int i = 0; i < kStrobeIdleWrites; ++i) SetPin(kStrobePin);
  return answered;
}

bool PortTransmitter::SendLine(std::string_view line) {
  for (char c : line)
    if (!SendByte(static_cast<std::uint8_t>(c))) return false;
  return SendByte(13);
}

}  // namespace qmt
