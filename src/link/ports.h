// The ways of reaching a parallel port besides the virtual device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/link_problem.h"
#include "link/port_io.h"

namespace qmt {

// No device: BUSY never clears and nothing is waited for, so a line fails
// on its first byte at once.  Writes go nowhere.
class NoDevicePort : public PortIo {
 public:
  std::uint8_t In(std::uint16_t) override { return 0x00; }
  void Out(std::uint16_t, std::uint8_t) override {}
  void SleepMs(unsigned) override {}
};

// Real waits, shared by the ports that reach hardware.
void SleepMilliseconds(unsigned ms);

// The kernel's user-space parallel-port interface (/dev/parportN): the port
// is claimed for as long as the object lives; register base + k maps to the
// data, status and control requests.
class PpdevPort : public PortIo {
 public:
  // Opens and claims `path`; null with `problem` saying which step failed
  // (its kind, the file and errno; the caller names the port).
  static std::unique_ptr<PpdevPort> Open(const std::string& path, std::uint16_t base,
                                         LinkProblem& problem);
  ~PpdevPort() override;
  PpdevPort(const PpdevPort&) = delete;
  PpdevPort& operator=(const PpdevPort&) = delete;

  std::uint8_t In(std::uint16_t port) override;
  void Out(std::uint16_t port, std::uint8_t value) override;
  void SleepMs(unsigned ms) override { SleepMilliseconds(ms); }

 private:
  PpdevPort(int fd, std::uint16_t base) : fd_(fd), base_(base) {}
  int fd_;
  std::uint16_t base_;
};

// Port instructions (x86 only).  They trap unless the process holds the
// ports, so nothing reaches the hardware until Enable() is called after a
// successful grant; before that the port behaves as NoDevicePort.
class DirectPort : public PortIo {
 public:
  static constexpr bool kSupported =
#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
      true;
#else
      false;
#endif

  void Enable() { enabled_ = kSupported; }
  bool Enabled() const { return enabled_; }

  std::uint8_t In(std::uint16_t port) override;
  void Out(std::uint16_t port, std::uint8_t value) override;
  void SleepMs(unsigned ms) override { SleepMilliseconds(ms); }

 private:
  bool enabled_ = false;
};

}  // namespace qmt
