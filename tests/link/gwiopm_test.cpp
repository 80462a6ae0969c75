#include "link/gwiopm.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>
#include <vector>

#include "link/iopm_standin.h"

namespace qmt {
namespace {

// A service manager and driver device that record what they are asked.
class RecordingHost : public DriverHost {
 public:
  struct Request {
    std::uint32_t code;
    std::uint32_t index;
    std::uint32_t value;
    bool operator==(const Request&) const = default;
  };

  bool OpenManager(std::uint32_t access) override {
    calls.push_back("OpenManager");
    managerAccess = access;
    return managerAvailable;
  }
  void CloseManager() override { calls.push_back("CloseManager"); }
  DriverResult CreateService(const ServiceConfig& c) override {
    calls.push_back("CreateService");
    config = c;
    return createResult;
  }
  DriverResult StartService(const std::string&, std::uint32_t) override {
    calls.push_back("StartService");
    return startResult;
  }
  DriverResult DeleteService(const std::string&, std::uint32_t) override {
    calls.push_back("DeleteService");
    return kDriverOk;
  }
  DriverResult OpenDevice(const std::string& path) override {
    calls.push_back("OpenDevice " + path);
    return openDeviceResult;
  }
  void CloseDevice() override { calls.push_back("CloseDevice"); }
  DriverResult IoControl(std::uint32_t code, const IopmBuffer& in, IopmBuffer& out) override {
    requests.push_back({code, BufferWord(in, 0), BufferWord(in, 1)});
    if (code == kIoctlGetMapByte) {
      if (getFailsAt == BufferWord(in, 0)) return kErrorInvalidParameter;
      SetBufferWord(out, 1, map[BufferWord(in, 0)]);
    }
    if (code == kIoctlSetMapByte) map[BufferWord(in, 0)] = static_cast<std::uint8_t>(BufferWord(in, 1));
    return kDriverOk;
  }
  std::string SystemMessage(DriverResult code) override { return "system " + std::to_string(code); }

  bool managerAvailable = true;
  DriverResult createResult = kDriverOk;
  DriverResult startResult = kDriverOk;
  DriverResult openDeviceResult = kDriverOk;
  std::uint32_t getFailsAt = ~0u;
  std::uint32_t managerAccess = 0;
  ServiceConfig config;
  std::vector<std::uint8_t> map = std::vector<std::uint8_t>(kIopmMapBytes, 0xFF);
  std::vector<std::string> calls;
  std::vector<Request> requests;
};

using Req = RecordingHost::Request;

TEST(Gwiopm, ControlCodesAndBufferLayout) {
  EXPECT_EQ(kIoctlSetMapByte, 0xF1002444u);
  EXPECT_EQ(kIoctlGetMapByte, 0xF1002448u);
  EXPECT_EQ(kIoctlActivateMap, 0xF1002480u);
  IopmBuffer b{};
  SetBufferWord(b, 1, 0x12345678);
  EXPECT_EQ(b[4], 0x78);
  EXPECT_EQ(b[7], 0x12);
  EXPECT_EQ(BufferWord(b, 1), 0x12345678u);
}

TEST(Gwiopm, GrantOfParallelPortTouchesMapByte111Once) {
  RecordingHost host;
  host.map[111] = 0xA5;
  TGWIOPM_Driver driver(host, "/opt/qmt/");
  GrantReport report = PortGrant(driver, 0x378, 0x37B);
  EXPECT_EQ(host.requests, (std::vector<Req>{{kIoctlGetMapByte, 111, 0xFF},
                                             {kIoctlSetMapByte, 111, 0xA0},
                                             {kIoctlActivateMap, 0, 0}}));
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"OpenManager", "CreateService", "StartService",
                                      "OpenDevice \\\\.\\gwiopm", "CloseDevice", "DeleteService",
                                      "CloseManager"}));
  EXPECT_TRUE(report.Granted());
  EXPECT_EQ(report.last.text, "Operation was successful");
  EXPECT_EQ(host.managerAccess, kManagerAllAccess);
  EXPECT_EQ(host.config.name, "gwiopm");
  EXPECT_EQ(host.config.displayName, "gwiopm");
  EXPECT_EQ(host.config.binaryPath, "/opt/qmt/gwiopm.sys");
  EXPECT_EQ(std::tie(host.config.access, host.config.type, host.config.start, host.config.errorControl),
            std::make_tuple(0xF01FFu, 1u, 3u, 1u));
  EXPECT_FALSE(driver.ManagerOpen());
  EXPECT_FALSE(driver.DeviceOpen());
}

TEST(Gwiopm, SetPortRangeEdgeCases) {
  RecordingHost host;
  TGWIOPM_Driver driver(host, "/");
  ASSERT_EQ(driver.OpenDevice(), kDriverOk);

  // Across a byte boundary: two bytes, each read and written once.
  host.map[111] = 0x00;
  host.map[112] = 0xFF;
  EXPECT_EQ(driver.SetPortRange(0x37E, 0x381, false), kDriverOk);
  EXPECT_EQ(host.requests, (std::vector<Req>{{kIoctlGetMapByte, 111, 0xFF},
                                             {kIoctlSetMapByte, 111, 0xC0},
                                             {kIoctlGetMapByte, 112, 0xC0},
                                             {kIoctlSetMapByte, 112, 0xFF}}));
  host.requests.clear();
  EXPECT_EQ(driver.SetPortRange(0x37E, 0x381, true), kDriverOk);
  EXPECT_EQ(host.map[111], 0x00);
  EXPECT_EQ(host.map[112], 0xFC);

  host.requests.clear();
  EXPECT_EQ(driver.SetPortRange(0x37B, 0x378, true), kDriverOk);
  EXPECT_TRUE(host.requests.empty());

  // The last port of all: the loop must still end.
  host.requests.clear();
  EXPECT_EQ(driver.SetPortRange(0xFFFE, 0xFFFF, true), kDriverOk);
  EXPECT_EQ(host.requests.size(), 2u);
  EXPECT_EQ(host.map[8191], 0x3F);

  // A failed read ends the operation with its code, nothing written.
  host.requests.clear();
  host.getFailsAt = 112;
  EXPECT_EQ(driver.SetPortRange(0x380, 0x390, true), kErrorInvalidParameter);
  EXPECT_EQ(host.requests.size(), 1u);
}

TEST(Gwiopm, RequestsWithoutDeviceGive9997AndSendNothing) {
  RecordingHost host;
  TGWIOPM_Driver driver(host, "/");
  std::uint8_t value = 0;
  EXPECT_EQ(driver.SetMapByte(111, 0), kNoDeviceHandle);
  EXPECT_EQ(driver.GetMapByte(111, value), kNoDeviceHandle);
  EXPECT_EQ(driver.ActivateMap(), kNoDeviceHandle);
  EXPECT_EQ(driver.SetPortRange(0x378, 0x37B, true), kNoDeviceHandle);
  EXPECT_TRUE(host.requests.empty());
}

TEST(Gwiopm, FailingStepsDoNotEndTheGrant) {
  {  // Service already there and running: the device still decides.
    RecordingHost host;
    host.createResult = 1073;
    host.startResult = 1056;
    TGWIOPM_Driver driver(host, "/");
    GrantReport r = PortGrant(driver, 0x378, 0x37B);
    EXPECT_EQ(r.install, 1073u);
    EXPECT_EQ(r.start, 1056u);
    EXPECT_TRUE(r.Granted());
    EXPECT_EQ(r.last.text, "Operation was successful");  // OpenDevice was recorded last
  }
  {  // No service manager: every step fails in turn, no request is sent.
    RecordingHost host;
    host.managerAvailable = false;
    host.openDeviceResult = kErrorFileNotFound;
    TGWIOPM_Driver driver(host, "/");
    GrantReport r = PortGrant(driver, 0x378, 0x37B);
    EXPECT_EQ(r.openScm, kNoServiceManager);
    EXPECT_EQ(r.install, kErrorInvalidHandle);
    EXPECT_FALSE(r.Granted());
    EXPECT_EQ(r.Failure(), kErrorFileNotFound);
    EXPECT_EQ(r.last.code, kErrorFileNotFound);
    EXPECT_EQ(r.last.text, "An unexpected error occured");
    EXPECT_EQ(r.last.systemText, "system 2");
    EXPECT_TRUE(host.requests.empty());
  }
}

TEST(Gwiopm, ErrorText) {
  const std::pair<DriverResult, const char*> cases[] = {
      {0, "Operation was successful"},
      {5, "Access denied"},
      {1073, "Service already exists"},
      {1075, "Depends on nonexistant service"},
      {9997, "No device handle"},
      {9998, "Can't connect to Service Control Manager"},
      {9999, "An unexpected error occured"},
      {42, "An unexpected error occured"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(TGWIOPM_Driver::ErrorText(code), text) << code;
}

TEST(IopmStandIn, ActivateAppliesAllowedPortsOrNothing) {
  struct Call {
    unsigned long from, count;
    bool on;
    bool operator==(const Call&) const = default;
  };
  {  // With the right: exactly the granted run is applied.
    std::vector<Call> calls;
    IopmStandIn host([&](unsigned long f, unsigned long n, bool on) {
      calls.push_back({f, n, on});
      return 0;
    });
    TGWIOPM_Driver driver(host, "/");
    GrantReport r = PortGrant(driver, 0x378, 0x37B);
    EXPECT_TRUE(r.Granted());
    EXPECT_EQ(calls, (std::vector<Call>{{0x378, 4, true}}));
    EXPECT_TRUE(host.Applied(0x37B));
    EXPECT_FALSE(host.Applied(0x37C));
    EXPECT_EQ(host.Map()[111], 0xF0);
    // A second grant changes nothing the process does not hold already.
    calls.clear();
    EXPECT_TRUE(PortGrant(driver, 0x378, 0x37B).Granted());
    EXPECT_TRUE(calls.empty());
  }
  {  // Without the right: "Access denied" and no port held.
    IopmStandIn host([](unsigned long, unsigned long, bool) { return EPERM; });
    TGWIOPM_Driver driver(host, "/");
    GrantReport r = PortGrant(driver, 0x378, 0x37B);
    EXPECT_FALSE(r.Granted());
    EXPECT_EQ(r.activate, 5);
    EXPECT_EQ(TGWIOPM_Driver::ErrorText(r.Failure()), "Access denied");
    EXPECT_EQ(r.openScm + r.install + r.start + r.openDevice, 0u);
    EXPECT_FALSE(host.Applied(0x378));
    EXPECT_NE(host.SystemMessage(5).find("ioperm"), std::string::npos);
  }
  {  // Refused halfway: what was given is taken back.
    std::vector<Call> calls;
    IopmStandIn host([&](unsigned long f, unsigned long n, bool on) {
      calls.push_back({f, n, on});
      return f == 0x3F8 ? EPERM : 0;
    });
    TGWIOPM_Driver driver(host, "/");
    ASSERT_EQ(driver.OpenDevice(), kDriverOk);
    driver.SetPortRange(0x378, 0x37B, true);
    driver.SetPortRange(0x3F8, 0x3FF, true);
    EXPECT_EQ(driver.ActivateMap(), kErrorAccessDenied);
    EXPECT_EQ(calls, (std::vector<Call>{{0x378, 4, true}, {0x3F8, 8, true}, {0x378, 4, false}}));
    EXPECT_FALSE(host.Applied(0x378));
  }
}

TEST(IopmStandIn, MapRequestsAreCheckedLikeADriver) {
  IopmStandIn host([](unsigned long, unsigned long, bool) { return 0; });
  IopmBuffer in{}, out{};
  EXPECT_EQ(host.IoControl(kIoctlGetMapByte, in, out), kErrorInvalidHandle);  // not open
  ASSERT_EQ(host.OpenDevice("\\\\.\\gwiopm"), kDriverOk);
  SetBufferWord(in, 0, 8192);
  EXPECT_EQ(host.IoControl(kIoctlSetMapByte, in, out), kErrorInvalidParameter);
  EXPECT_EQ(host.IoControl(0xF1002400, in, out), kErrorInvalidFunction);
  SetBufferWord(in, 0, 5);
  ASSERT_EQ(host.IoControl(kIoctlGetMapByte, in, out), kDriverOk);
  EXPECT_EQ(BufferWord(out, 1), 0xFFu);  // everything denied at first
  IopmStandIn other;
  EXPECT_EQ(other.OpenDevice("\\\\.\\other"), kErrorFileNotFound);
}

}  // namespace
}  // namespace qmt
