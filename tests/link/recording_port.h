// A port that records every access, for checking the exact register traffic.
#pragma once

#include <cstdint>
#include <vector>

#include "link/port_io.h"

namespace qmt::test {

struct PortEvent {
  enum Kind { kIn, kOut, kSleep } kind;
  std::uint16_t port;
  std::uint8_t value;
  bool operator==(const PortEvent&) const = default;
};

class RecordingPort : public PortIo {
 public:
  // What the status register reads: 0x80 is a device that is never busy,
  // 0x00 one that never answers.
  explicit RecordingPort(std::uint8_t status) : status_(status) {}

  std::uint8_t In(std::uint16_t port) override {
    std::uint8_t v = port == 0x379 ? status_ : 0xFF;
    events.push_back({PortEvent::kIn, port, v});
    return v;
  }
  void Out(std::uint16_t port, std::uint8_t value) override {
    events.push_back({PortEvent::kOut, port, value});
  }
  void SleepMs(unsigned ms) override {
    events.push_back({PortEvent::kSleep, 0, static_cast<std::uint8_t>(ms)});
  }

  std::vector<std::uint8_t> Writes(std::uint16_t port) const {
    std::vector<std::uint8_t> out;
    for (const auto& e : events)
      if (e.kind == PortEvent::kOut && e.port == port) out.push_back(e.value);
    return out;
  }
  int Count(PortEvent::Kind kind) const {
    int n = 0;
    for (const auto& e : events) n += e.kind == kind;
    return n;
  }

  std::vector<PortEvent> events;

 private:
  std::uint8_t status_;
};

}  // namespace qmt::test
