// The link to the real device as the programs see it: one object that sends
// lines and reads BUSY, over the port chosen by a short text:
//
//   none                   no device; every line fails at once
//   virtual                the in-process device (virtual_device.h)
//   ppdev[:/dev/parportN]  the kernel's parallel-port interface (parport0)
//   direct[:ADDRESS]       port instructions after the port grant (x86,
//                          needs CAP_SYS_RAWIO); ADDRESS as 0x378 or 888
//   lp:PATH                a printer-class device (USB-to-parallel cables)
//   tcp:HOST:PORT          a TCP peer: `qmt serve`, `qmtsim --listen`, or a
//                          network adapter in front of a device
//   file:PATH              a file that receives the bytes
//
// The last three carry each line's bytes and its carriage return as one
// stream (stream_ports.h); their handshake is the device's or the peer's.
//
// An empty text means the environment variable QMT_PORT, and when that is
// unset too, ppdev:/dev/parport0 if it can be claimed, else none.  Direct
// port instructions are only used when asked for by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_problem.h"
#include "link/port_io.h"
#include "link/stream_ports.h"
#include "link/transmit.h"
#include "link/virtual_device.h"

namespace qmt {

class DeviceLink {
 public:
  // `name` is how the port is shown ("none", "virtual", "ppdev:/dev/parport0",
  // "direct:0x378").
  DeviceLink(std::unique_ptr<PortIo> port, std::string name,
             PortTransmitter::Grant grant = {},
             std::uint16_t base = PortTransmitter::kDefaultBase);
  // A stream port; the register interface below then reaches no device.
  DeviceLink(std::unique_ptr<StreamPort> stream, std::string name);
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  bool SendLine(std::string_view line) {
    return stream_ ? stream_->SendLine(line) : transmitter_.SendLine(line);
  }
  // A stream port's device handshakes by itself: it never reads as busy.
  bool DeviceBusy() { return stream_ ? false : transmitter_.DeviceBusy(); }
  // Why the last line failed, when the port knows more than "no answer".
  std::string Problem() const { return stream_ ? stream_->Problem() : std::string(); }
  StreamPort* Stream() { return stream_.get(); }

  const std::string& Name() const { return name_; }
  PortTransmitter& Transmitter() { return transmitter_; }
  PortIo& Port() { return *port_; }
  // The in-process device when the port is "virtual", else null.  Set its
  // line handler to watch or execute what arrives.
  VirtualDevice* Virtual() { return dynamic_cast<VirtualDevice*>(port_.get()); }

 private:
  std::unique_ptr<PortIo> port_;
  std::unique_ptr<StreamPort> stream_;
  std::string name_;
  PortTransmitter transmitter_;
};

// Opens the port `choice` names (see above).  A choice that cannot be used
// leaves `problem` saying why and gives a "none" link, so the caller runs on
// without a device; otherwise `problem` is empty.  A direct port is granted
// here, on the calling thread, which must be the one that sends (the kernel
// keeps port rights per thread).
std::unique_ptr<DeviceLink> OpenLink(std::string_view choice, LinkProblem& problem);
// The same with the problem in English words (LinkProblem::Text), as `qmt`
// prints it; empty when the port opened.
std::unique_ptr<DeviceLink> OpenLink(std::string_view choice, std::string& message);

// Port texts to offer when completing a --port value: each kind OpenLink
// knows, bare and with its usual argument ("ppdev:/dev/parport0").
std::vector<std::string> PortChoiceExamples();

class TGWIOPM_Driver;
// The direct port at `base`, granted through `driver` (OpenLink uses the
// process-wide one).  A refused grant gives a "none" link and a problem.
std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t base, TGWIOPM_Driver& driver,
                                           LinkProblem& problem);
std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t base, TGWIOPM_Driver& driver,
                                           std::string& message);

}  // namespace qmt
