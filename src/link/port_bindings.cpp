// The port bindings of a native build: parallel ports through ppdev or the
// port instructions, printer-class devices, TCP and files.
#include <filesystem>
#include <system_error>

#include "link/device_link.h"
#include "link/gwiopm.h"
#include "link/port_bindings.h"
#include "link/ports.h"

namespace qmt {
namespace {

constexpr const char* kDefaultParport = "/dev/parport0";

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

std::unique_ptr<DeviceLink> OpenPpdev(const std::string& path, LinkProblem& problem) {
  auto port = PpdevPort::Open(path, PortTransmitter::kDefaultBase, problem);
  if (!port) {
    problem.port = "ppdev:" + path;
    return NoDevice();
  }
  return std::make_unique<DeviceLink>(std::move(port), "ppdev:" + path);
}

std::unique_ptr<DeviceLink> OpenDirect(std::string_view arg, LinkProblem& problem) {
  std::uint16_t base = PortTransmitter::kDefaultBase;
  if (!arg.empty() && !ParseBase(arg, base))
    return Refuse(problem, LinkProblem::Kind::kBadAddress, "direct:" + std::string(arg), std::string(arg));
  return OpenDirectLink(base, Driver(), problem);
}

std::unique_ptr<DeviceLink> OpenStream(std::string_view kind, std::string_view arg, LinkProblem& problem) {
  if (arg.empty()) return Refuse(problem, LinkProblem::Kind::kNoTarget, std::string(kind));
  std::string name = std::string(kind) + ":" + std::string(arg);
  std::unique_ptr<StreamPort> port;
  if (kind == "lp") port = LpPort::Open(std::string(arg), problem);
  else if (kind == "tcp") port = TcpPort::Open(arg, problem);
  else port = FilePort::Open(std::string(arg), problem);
  if (!port) {
    problem.port = name;
    return NoDevice();
  }
  return std::make_unique<DeviceLink>(std::move(port), name);
}

}  // namespace

std::vector<std::string> PortChoiceExamples() {
  return {"none",        "virtual",         "ppdev", std::string("ppdev:") + kDefaultParport, "direct", "direct:0x378",
          "lp:/dev/usb/lp0", "tcp:127.0.0.1:", "file:"};
}

std::unique_ptr<DeviceLink> OpenDefaultPort(LinkProblem& problem) {
  // Automatic choice: the first parallel port when it can be claimed.
  // Only a port that is there but refused is worth a word; a machine
  // without one quietly runs with none.
  LinkProblem why;
  auto link = OpenPpdev(kDefaultParport, why);
  std::error_code ec;
  if (link->Name() == "none" && std::filesystem::exists(kDefaultParport, ec)) problem = why;
  return link;
}

std::unique_ptr<DeviceLink> OpenPortBinding(std::string_view, std::string_view kind, bool hasArg,
                                            std::string_view arg, LinkProblem& problem) {
  if ((kind == "ppdev" || kind == "direct") && hasArg && arg.empty())
    return Refuse(problem, LinkProblem::Kind::kNoTarget, std::string(kind));
  if (kind == "ppdev") return OpenPpdev(hasArg ? std::string(arg) : kDefaultParport, problem);
  if (kind == "direct") return OpenDirect(arg, problem);
  if (kind == "lp" || kind == "tcp" || kind == "file") return OpenStream(kind, arg, problem);
  return nullptr;
}

std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t base, TGWIOPM_Driver& driver,
                                           LinkProblem& problem) {
  problem = {};
  std::string name = "direct:" + Hex(base);
  if (!DirectPort::kSupported) return Refuse(problem, LinkProblem::Kind::kNoPortInstructions, name);
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
    if (code == kErrorNotSupported) return Refuse(problem, LinkProblem::Kind::kNoPermissionCall, name);
    return Refuse(problem, LinkProblem::Kind::kGrantRefused, name, {}, code);
  }
  direct->Enable();
  return link;
}

std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t base, TGWIOPM_Driver& driver,
                                           std::string& message) {
  LinkProblem problem;
  auto link = OpenDirectLink(base, driver, problem);
  message = problem.Text();
  return link;
}

}  // namespace qmt
