#include "link/iopm_standin.h"

#include <cstring>
#include <utility>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define QMT_HAVE_IOPERM 1
#endif

namespace qmt {
namespace {

int SystemIoperm(unsigned long from, unsigned long count, bool on) {
#ifdef QMT_HAVE_IOPERM
  return ::ioperm(from, count, on ? 1 : 0) == 0 ? 0 : errno;
#else
  (void)from;
  (void)count;
  (void)on;
  return ENOSYS;
#endif
}

bool Allowed(const std::vector<std::uint8_t>& map, std::uint32_t port) {
  return !((map[port / 8] >> (port & 7)) & 1);
}

}  // namespace

IopmStandIn::IopmStandIn() : IopmStandIn(SystemIoperm) {}

IopmStandIn::IopmStandIn(IopermFn ioperm)
    : ioperm_(std::move(ioperm)), map_(kIopmMapBytes, 0xFF), applied_(kIopmMapBytes, 0xFF) {}

bool IopmStandIn::OpenManager(std::uint32_t) { return true; }
void IopmStandIn::CloseManager() {}
DriverResult IopmStandIn::CreateService(const ServiceConfig&) { return kDriverOk; }
DriverResult IopmStandIn::StartService(const std::string&, std::uint32_t) { return kDriverOk; }
DriverResult IopmStandIn::DeleteService(const std::string&, std::uint32_t) { return kDriverOk; }

DriverResult IopmStandIn::OpenDevice(const std::string& path) {
  if (path != "\\\\.\\gwiopm") return Fail(kErrorFileNotFound, "no such device: " + path);
  if (deviceOpen_) return Fail(kErrorAccessDenied, "the device is already open");
  deviceOpen_ = true;
  return kDriverOk;
}

void IopmStandIn::CloseDevice() { deviceOpen_ = false; }

bool IopmStandIn::Applied(std::uint16_t port) const { return Allowed(applied_, port); }

DriverResult IopmStandIn::IoControl(std::uint32_t code, const IopmBuffer& in, IopmBuffer& out) {
  if (!deviceOpen_) return Fail(kErrorInvalidHandle, "the device is not open");
  out = IopmBuffer{};
  std::uint32_t index = BufferWord(in, 0);
  switch (code) {
    case kIoctlSetMapByte:
      if (index >= kIopmMapBytes) return Fail(kErrorInvalidParameter, "map byte index out of range");
      map_[index] = static_cast<std::uint8_t>(BufferWord(in, 1));
      return kDriverOk;
    case kIoctlGetMapByte:
      if (index >= kIopmMapBytes) return Fail(kErrorInvalidParameter, "map byte index out of range");
      SetBufferWord(out, 1, map_[index]);
      return kDriverOk;
    case kIoctlActivateMap:
      return Activate();
    default:
      return Fail(kErrorInvalidFunction, "unknown request");
  }
}

// Applies the map as runs of ports whose permission changes.  A refusal
// takes back what this activation had already given, so the process holds
// either the whole map or what it held before.
DriverResult IopmStandIn::Activate() {
  struct Run {
    std::uint32_t from, count;
    bool on;
  };
  std::vector<Run> done;
  constexpr std::uint32_t kPorts = kIopmMapBytes * 8;
  std::uint32_t p = 0;
  while (p < kPorts) {
    bool want = Allowed(map_, p);
    if (want == Allowed(applied_, p)) {
      ++p;
      continue;
    }
    std::uint32_t from = p;
    while (p < kPorts && Allowed(map_, p) == want && Allowed(applied_, p) != want) ++p;
    int err = ioperm_(from, p - from, want);
    if (err != 0) {
      for (auto it = done.rbegin(); it != done.rend(); ++it) ioperm_(it->from, it->count, !it->on);
      std::string what = "ioperm(" + std::to_string(from) + ", " + std::to_string(p - from) +
                         "): " + std::strerror(err);
      if (err == EPERM || err == EACCES) return Fail(kErrorAccessDenied, what);
      if (err == EINVAL) return Fail(kErrorInvalidParameter, what);
      if (err == ENOSYS) return Fail(kErrorNotSupported, what);
      return Fail(kErrorInvalidFunction, what);
    }
    done.push_back({from, p - from, want});
  }
  applied_ = map_;
  return kDriverOk;
}

DriverResult IopmStandIn::Fail(DriverResult code, std::string message) {
  lastFailure_ = code;
  lastFailureMessage_ = std::move(message);
  return code;
}

std::string IopmStandIn::SystemMessage(DriverResult code) {
  if (code == kDriverOk) return "Success";
  if (code == lastFailure_ && !lastFailureMessage_.empty()) return lastFailureMessage_;
  return TGWIOPM_Driver::ErrorText(code);
}

}  // namespace qmt
