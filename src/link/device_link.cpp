#include "link/device_link.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "link/port_bindings.h"
#include "link/ports.h"
#include "link/virtual_device.h"

namespace qmt {

DeviceLink::DeviceLink(std::unique_ptr<PortIo> port, std::string name,
                       PortTransmitter::Grant grant, std::uint16_t base)
    : port_(std::move(port)), name_(std::move(name)), transmitter_(*port_, std::move(grant), base) {}

DeviceLink::DeviceLink(std::unique_ptr<StreamPort> stream, std::string name)
    : port_(std::make_unique<NoDevicePort>()),
      stream_(std::move(stream)),
      name_(std::move(name)),
      transmitter_(*port_) {}

// The link with no device.
std::unique_ptr<DeviceLink> NoDevice() {
  return std::make_unique<DeviceLink>(std::make_unique<NoDevicePort>(), "none");
}

// A refusal: the problem is set and the link is "none".
std::unique_ptr<DeviceLink> Refuse(LinkProblem& problem, LinkProblem::Kind kind, std::string port,
                                   std::string target, std::uint32_t code) {
  problem = {kind, std::move(port), std::move(target), code};
  return NoDevice();
}

std::unique_ptr<DeviceLink> OpenLink(std::string_view choice, LinkProblem& problem) {
  problem = {};
  if (choice.empty()) {
    const char* env = std::getenv("QMT_PORT");
    if (env && *env) {
      choice = env;
    } else {
      return OpenDefaultPort(problem);
    }
  }
  std::string_view kind = choice.substr(0, choice.find(':'));
  std::string_view arg;
  bool hasArg = choice.find(':') != std::string_view::npos;
  if (hasArg) arg = choice.substr(choice.find(':') + 1);

  if (kind == "none" && !hasArg) return NoDevice();
  if (kind == "virtual" && !hasArg)
    return std::make_unique<DeviceLink>(std::make_unique<VirtualDevice>(), "virtual");
  if (auto link = OpenPortBinding(choice, kind, hasArg, arg, problem)) return link;
  return Refuse(problem, LinkProblem::Kind::kUnknownPort, std::string(choice));
}

std::unique_ptr<DeviceLink> OpenLink(std::string_view choice, std::string& message) {
  LinkProblem problem;
  auto link = OpenLink(choice, problem);
  message = problem.Text();
  return link;
}

}  // namespace qmt
