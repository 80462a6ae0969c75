// Why a port could not be opened, kept as facts rather than words: what went
// wrong, which port, and the detail (a file, an address, an error number).
// `qmt` prints Text(); the windows word the same facts in Japanese.
#pragma once

#include <cstdint>
#include <string>

namespace qmt {

struct LinkProblem {
  enum class Kind {
    kNone,
    kUnknownPort,         // port: the whole choice ("serial", "virtual:1")
    kNoTarget,            // port: the kind ("ppdev", "direct", "lp", "tcp", "file")
    kBadAddress,          // port: "direct:ARG" or "tcp:ARG"; target: ARG
    kCannotOpen,          // port: its name; target: the file; code: errno
    kCannotClaim,         // ppdev: the file opened but was not claimed; code: errno
    kNoPortInstructions,  // port: "direct:0x378" on a machine without x86 port I/O
    kNoPermissionCall,    // port: "direct:0x378"; the kernel lacks ioperm
    kGrantRefused,        // port: "direct:0x378"; code: the driver's result
  };

  Kind kind = Kind::kNone;
  std::string port;
  std::string target;
  std::uint32_t code = 0;

  explicit operator bool() const { return kind != Kind::kNone; }
  // The English sentence `qmt` prints, ending "; running without a device".
  std::string Text() const;
};

// The port kinds OpenLink knows, as the choices are written.
inline constexpr const char* kPortChoices =
    "none, virtual, ppdev[:DEVICE], direct[:ADDRESS], lp:DEVICE, tcp:HOST:PORT or file:PATH";

}  // namespace qmt
