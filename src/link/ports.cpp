#include "link/ports.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#endif

namespace qmt {

void SleepMilliseconds(unsigned ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::unique_ptr<PpdevPort> PpdevPort::Open(const std::string& path, std::uint16_t base,
                                           LinkProblem& problem) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    problem = {LinkProblem::Kind::kCannotOpen, {}, path, static_cast<std::uint32_t>(errno)};
    return nullptr;
  }
  if (::ioctl(fd, PPCLAIM) != 0) {
    problem = {LinkProblem::Kind::kCannotClaim, {}, path, static_cast<std::uint32_t>(errno)};
    ::close(fd);
    return nullptr;
  }
  // Data lines driven by the PC; a port without a direction switch refuses
  // the request and is forward-only anyway.
  int forward = 0;
  ::ioctl(fd, PPDATADIR, &forward);
  return std::unique_ptr<PpdevPort>(new PpdevPort(fd, base));
}

PpdevPort::~PpdevPort() {
  ::ioctl(fd_, PPRELEASE);
  ::close(fd_);
}

// ppdev passes register values through unchanged (STROBE set = line active,
// status bit 7 set = not busy), as the transmitter expects.
std::uint8_t PpdevPort::In(std::uint16_t port) {
  unsigned char value = 0;
  int request;
  switch (static_cast<std::uint16_t>(port - base_)) {
    case 0: request = PPRDATA; break;
    case 1: request = PPRSTATUS; break;
    case 2: request = PPRCONTROL; break;
    default: return 0xFF;
  }
  // A failed read looks like a busy device, so the line fails.
  if (::ioctl(fd_, request, &value) != 0) return 0x00;
  return value;
}

void PpdevPort::Out(std::uint16_t port, std::uint8_t value) {
  unsigned char v = value;
  switch (static_cast<std::uint16_t>(port - base_)) {
    case 0: ::ioctl(fd_, PPWDATA, &v); break;
    case 2: ::ioctl(fd_, PPWCONTROL, &v); break;
    default: break;  // status is read-only; base + 3 is not used
  }
}

std::uint8_t DirectPort::In(std::uint16_t port) {
#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
  if (enabled_) return ::inb(port);
#else
  (void)port;
#endif
  return 0x00;
}

void DirectPort::Out(std::uint16_t port, std::uint8_t value) {
#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
  if (enabled_) ::outb(value, port);
#else
  (void)port;
  (void)value;
#endif
}

}  // namespace qmt
