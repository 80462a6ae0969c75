// Between the link's choice of port (device_link.cpp) and the bindings a
// build has: a native build binds parallel ports, printer-class devices,
// TCP and files (port_bindings.cpp); the web build none of them
// (port_bindings_none.cpp), leaving "none" and "virtual".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/device_link.h"
#include "link/link_problem.h"

namespace qmt {

// The link with no device.
std::unique_ptr<DeviceLink> NoDevice();

// A refusal: the problem is set and the link is "none".
std::unique_ptr<DeviceLink> Refuse(LinkProblem& problem, LinkProblem::Kind kind, std::string port,
                                   std::string target = {}, std::uint32_t code = 0);

// The port used when none is named (nor QMT_PORT): a native build's first
// parallel port when it can be claimed, else none.
std::unique_ptr<DeviceLink> OpenDefaultPort(LinkProblem& problem);

// The port of a choice "kind[:arg]" other than none and virtual, or null
// when the build has no such kind.
std::unique_ptr<DeviceLink> OpenPortBinding(std::string_view choice, std::string_view kind, bool hasArg,
                                            std::string_view arg, LinkProblem& problem);

}  // namespace qmt
