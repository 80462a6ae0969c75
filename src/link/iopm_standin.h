// Linux has no service manager and no `gwiopm` driver.  This stand-in plays
// both: installing and starting the service always succeed, the device keeps
// the 8192-byte permission map, and activating the map applies the allowed
// ports to this process with ioperm(2).  A process without the right
// (CAP_SYS_RAWIO) gets "Access denied" and no port at all.
#pragma once

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "link/gwiopm.h"

namespace qmt {

class IopmStandIn : public DriverHost {
 public:
  // ioperm(from, count, on) returning 0 or an errno value; the default calls
  // the system (ENOSYS off x86, where there are no port instructions).
  using IopermFn = std::function<int(unsigned long from, unsigned long count, bool on)>;

  IopmStandIn();
  explicit IopmStandIn(IopermFn ioperm);

  bool OpenManager(std::uint32_t access) override;
  void CloseManager() override;
  DriverResult CreateService(const ServiceConfig& config) override;
  DriverResult StartService(const std::string& name, std::uint32_t access) override;
  DriverResult DeleteService(const std::string& name, std::uint32_t access) override;
  DriverResult OpenDevice(const std::string& path) override;
  void CloseDevice() override;
  DriverResult IoControl(std::uint32_t code, const IopmBuffer& in, IopmBuffer& out) override;
  std::string SystemMessage(DriverResult code) override;

  const std::vector<std::uint8_t>& Map() const { return map_; }
  // Whether the last activation left `port` usable by this process.
  bool Applied(std::uint16_t port) const;

 private:
  DriverResult Activate();
  DriverResult Fail(DriverResult code, std::string message);

  IopermFn ioperm_;
  std::vector<std::uint8_t> map_;      // the driver's map, all denied at first
  std::vector<std::uint8_t> applied_;  // what the process holds now
  bool deviceOpen_ = false;
  DriverResult lastFailure_ = kDriverOk;
  std::string lastFailureMessage_;
};

}  // namespace qmt
