#include "link/link_problem.h"

#include <cstring>

#include "link/gwiopm.h"

namespace qmt {

namespace {

// What an empty argument leaves out, and an example of one that works.
std::string Missing(const std::string& kind) {
  if (kind == "ppdev") return "device file (give ppdev:/dev/parport0)";
  if (kind == "direct") return "address (give direct:0x378)";
  if (kind == "tcp") return "address (give tcp:127.0.0.1:3308)";
  if (kind == "lp") return "device file (give lp:/dev/usb/lp0)";
  return "file (give file:PATH)";
}

}  // namespace

std::string LinkProblem::Text() const {
  const std::string tail = "; running without a device";
  const std::string errnoText = std::strerror(static_cast<int>(code));
  switch (kind) {
    case Kind::kNone: return {};
    case Kind::kUnknownPort:
      return "unknown port '" + port + "' (choose " + kPortChoices + ")" + tail;
    case Kind::kNoTarget:
      return "port " + port + ": names no " + Missing(port) + tail;
    case Kind::kBadAddress:
      if (port.rfind("direct:", 0) == 0)
        return "port " + port + " has no usable address (give 0x378, 0x278 or a decimal number up to 65532)" +
               tail;
      return "port " + port + " cannot be used ('" + target +
             "' is no address (give HOST:PORT, such as 127.0.0.1:3308))" + tail;
    case Kind::kCannotOpen:
      return "port " + port + " cannot be used (cannot open " + target + ": " + errnoText + ")" + tail;
    case Kind::kCannotClaim:
      return "port " + port + " cannot be used (cannot claim " + target + ": " + errnoText + ")" + tail;
    case Kind::kNoPortInstructions:
      return "port " + port + " needs x86 port instructions, which this machine lacks" + tail;
    case Kind::kNoPermissionCall:
      return "port " + port +
             " cannot be used: this kernel offers no port permission call (ioperm); "
             "use the kernel's parallel port driver instead (--port ppdev:/dev/parport0)" +
             tail;
    case Kind::kGrantRefused: {
      std::string text = "port " + port + " cannot be used (port grant: " + TGWIOPM_Driver::ErrorText(code);
      if (code == kErrorAccessDenied) text += "; port instructions need root or CAP_SYS_RAWIO";
      return text + ")" + tail;
    }
  }
  return {};
}

}  // namespace qmt
