#include "link/device_link.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "link/gwiopm.h"
#include "link/ports.h"

namespace qmt {

DeviceLink::DeviceLink(std::unique_ptr<PortIo> port, std::string name,
                       PortTransmitter::Grant grant, std::uint16_t base)
    : port_(std::move(port)), name_(std::move(name)), transmitter_(*port_, std::move(grant), base) {}

DeviceLink::DeviceLink(std::unique_ptr<StreamPort> stream, std::string name)
    : port_(std::make_unique<NoDevicePort>()),
      stream_(std::move(stream)),
      name_(std::move(name)),
      transmitter_(*port_) {}

namespace {

constexpr const char* kDefaultParport = "/dev/parport0";
constexpr const char* kChoices =
    "none, virtual, ppdev[:DEVICE], direct[:ADDRESS], lp:DEVICE, tcp:HOST:PORT or file:PATH";

std::unique_ptr<DeviceLink> NoDevice() {
  return std::make_unique<DeviceLink>(std::make_unique<NoDevicePort>(), "none");
}

std::string Hex(unsigned v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v % 16]);
    v /= 16;
  } while (v);
  return "0x" + s;
}

// "0x378", "0X378" or "888"; the last register (base + 3) must exist.
bool ParseBase(std::string_view text, std::uint16_t& base) {
  int radix = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 6) return false;
  unsigned long v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (radix == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (radix == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * radix + d;
  }
  if (v > 0xFFFC) return false;
  base = static_cast<std::uint16_t>(v);
  return true;
}

std::unique_ptr<DeviceLink> OpenPpdev(const std::string& path, std::string& message) {
  std::string error;
  auto port = PpdevPort::Open(path, PortTransmitter::kDefaultBase, error);
  if (!port) {
    message = "port ppdev:" + path + " cannot be used (" + error + "); running without a device";
    return NoDevice();
  }
  return std::make_unique<DeviceLink>(std::move(port), "ppdev:" + path);
}

std::unique_ptr<DeviceLink> OpenDirect(std::string_view arg, std::string& message) {
  std::uint16_t base = PortTransmitter::kDefaultBase;
  if (!arg.empty() && !ParseBase(arg, base)) {
    message = "port direct:" + std::string(arg) +
              " has no usable address (give 0x378, 0x278 or a decimal number up to 65532); "
              "running without a device";
    return NoDevice();
  }
  return OpenDirectLink(base, Driver(), message);
}

std::unique_ptr<DeviceLink> OpenStream(std::string_view kind, std::string_view arg, std::string& message) {
  std::string name = std::string(kind) + ":" + std::string(arg);
  if (arg.empty()) {
    message = "port " + name + " names no " + (kind == "tcp" ? "address (give tcp:127.0.0.1:3308)" :
                                                kind == "lp" ? "device file (give lp:/dev/usb/lp0)" :
                                                               "file (give file:PATH)") +
              "; running without a device";
    return NoDevice();
  }
  std::string error;
  std::unique_ptr<StreamPort> port;
  if (kind == "lp") port = LpPort::Open(std::string(arg), error);
  else if (kind == "tcp") port = TcpPort::Open(arg, error);
  else port = FilePort::Open(std::string(arg), error);
  if (!port) {
    message = "port " + name + " cannot be used (" + error + "); running without a device";
    return NoDevice();
  }
  return std::make_unique<DeviceLink>(std::move(port), name);
}

}  // namespace

std::vector<std::string> PortChoiceExamples() {
  return {"none",        "virtual",         "ppdev", std::string("ppdev:") + kDefaultParport, "direct", "direct:0x378",
          "lp:/dev/usb/lp0", "tcp:127.0.0.1:", "file:"};
}

std::unique_ptr<DeviceLink> OpenLink(std::string_view choice, std::string& message) {
  message.clear();
  if (choice.empty()) {
    const char* env = std::getenv("QMT_PORT");
    if (env && *env) {
      choice = env;
    } else {
      // Automatic choice: the first parallel port when it can be claimed.
      // Only a port that is there but refused is worth a word; a machine
      // without one quietly runs with none.
      std::string why;
      auto link = OpenPpdev(kDefaultParport, why);
      std::error_code ec;
      if (link->Name() == "none" && std::filesystem::exists(kDefaultParport, ec)) message = why;
      return link;
    }
  }
  std::string_view kind = choice.substr(0, choice.find(':'));
  std::string_view arg;
  bool hasArg = choice.find(':') != std::string_view::npos;
  if (hasArg) arg = choice.substr(choice.find(':') + 1);

  if (kind == "none" && !hasArg) return NoDevice();
  if (kind == "virtual" && !hasArg)
    return std::make_unique<DeviceLink>(std::make_unique<VirtualDevice>(), "virtual");
  if (kind == "ppdev") {
    if (hasArg && arg.empty()) {
      message = "port ppdev: names no device file (give ppdev:/dev/parport0); running without a device";
      return NoDevice();
    }
    return OpenPpdev(hasArg ? std::string(arg) : kDefaultParport, message);
  }
  if (kind == "direct") {
    if (hasArg && arg.empty()) {
      message = "port direct: names no address (give direct:0x378); running without a device";
      return NoDevice();
    }
    return OpenDirect(arg, message);
  }
  if (kind == "lp" || kind == "tcp" || kind == "file") return OpenStream(kind, arg, message);
  message = "unknown port '" + std::string(choice) + "' (choose " + kChoices +
            "); running without a device";
  return NoDevice();
}

std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t base, TGWIOPM_Driver& driver,
                                           std::string& message) {
  message.clear();
  std::string name = "direct:" + Hex(base);
  if (!DirectPort::kSupported) {
    message = "port " + name + " needs x86 port instructions, which this machine lacks; "
              "running without a device";
    return NoDevice();
  }
  auto port = std::make_unique<DirectPort>();
  DirectPort* direct = port.get();
  auto report = std::make_shared<GrantReport>();
  auto link = std::make_unique<DeviceLink>(
      std::move(port), name,
      [report, &driver](std::uint16_t first, std::uint16_t last) { *report = PortGrant(driver, first, last); },
      base);
  // Granted here rather than at the first line: port instructions without
  // the grant would kill the process, so a refusal must be known before any
  // register is touched.
  link->Transmitter().EnsureReady();
  if (!report->Granted()) {
    DriverResult code = report->Failure();
    if (code == kErrorNotSupported) {
      message = "port " + name + " cannot be used: this kernel offers no port permission call (ioperm); "
                "use the kernel's parallel port driver instead (--port ppdev:/dev/parport0); "
                "running without a device";
      return NoDevice();
    }
    message = "port " + name + " cannot be used (port grant: " + TGWIOPM_Driver::ErrorText(code);
    if (code == kErrorAccessDenied) message += "; port instructions need root or CAP_SYS_RAWIO";
    message += "); running without a device";
    return NoDevice();
  }
  direct->Enable();
  return link;
}

}  // namespace qmt
