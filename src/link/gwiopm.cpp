#include "link/gwiopm.h"

#include <unistd.h>

#include <climits>
#include <utility>

#include "link/iopm_standin.h"

namespace qmt {

std::uint32_t BufferWord(const IopmBuffer& buffer, int word) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | buffer[4 * word + i];
  return v;
}

void SetBufferWord(IopmBuffer& buffer, int word, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) buffer[4 * word + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TGWIOPM_Driver::TGWIOPM_Driver(DriverHost& host, std::string programFolder)
    : host_(host), programFolder_(std::move(programFolder)) {}

std::string TGWIOPM_Driver::ProgramFolder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string exe(path, static_cast<std::size_t>(n));
  std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

DriverResult TGWIOPM_Driver::OpenSCM() {
  managerOpen_ = host_.OpenManager(kManagerAllAccess);
  return managerOpen_ ? kDriverOk : kNoServiceManager;
}

DriverResult TGWIOPM_Driver::CloseSCM() {
  if (managerOpen_) host_.CloseManager();
  managerOpen_ = false;
  return kDriverOk;
}

DriverResult TGWIOPM_Driver::Install() {
  driverFolder_ = programFolder_;
  driverName_ = "gwiopm";
  driverPath_ = driverFolder_ + driverName_ + ".sys";
  // Without a manager handle the system would refuse the call itself.
  if (!managerOpen_) return kErrorInvalidHandle;
  ServiceConfig config;
  config.name = driverName_;
  config.displayName = driverName_;
  config.access = kServiceAllAccess;
  config.type = kServiceKernelDriver;
  config.start = kServiceDemandStart;
  config.errorControl = kServiceErrorNormal;
  config.binaryPath = driverPath_;
  return host_.CreateService(config);
}

DriverResult TGWIOPM_Driver::Start() {
  if (!managerOpen_) return kErrorInvalidHandle;
  return host_.StartService(driverName_, kServiceAllAccess);
}

DriverResult TGWIOPM_Driver::Remove() {
  if (!managerOpen_) return kErrorInvalidHandle;
  return host_.DeleteService(driverName_, kServiceAllAccess);
}

DriverResult TGWIOPM_Driver::OpenDevice() {
  CloseDevice();
  DriverResult r = host_.OpenDevice("\\\\.\\" + driverName_);
  deviceOpen_ = r == kDriverOk;
  return r;
}

DriverResult TGWIOPM_Driver::CloseDevice() {
  if (deviceOpen_) host_.CloseDevice();
  deviceOpen_ = false;
  return kDriverOk;
}

DriverResult TGWIOPM_Driver::Request(std::uint32_t code, const IopmBuffer& in, IopmBuffer& out) {
  if (!deviceOpen_) return kNoDeviceHandle;
  return host_.IoControl(code, in, out);
}

DriverResult TGWIOPM_Driver::SetMapByte(std::uint16_t index, std::uint8_t value) {
  IopmBuffer in{}, out{};
  SetBufferWord(in, 0, index);
  SetBufferWord(in, 1, value);
  return Request(kIoctlSetMapByte, in, out);
}

DriverResult TGWIOPM_Driver::GetMapByte(std::uint16_t index, std::uint8_t& value) {
  IopmBuffer in{}, out{};
  SetBufferWord(in, 0, index);
  SetBufferWord(in, 1, value);
  DriverResult r = Request(kIoctlGetMapByte, in, out);
  if (r == kDriverOk) value = static_cast<std::uint8_t>(BufferWord(out, 1));
  return r;
}

DriverResult TGWIOPM_Driver::ActivateMap() {
  IopmBuffer in{}, out{};
  return Request(kIoctlActivateMap, in, out);
}

DriverResult TGWIOPM_Driver::SetPortRange(std::uint16_t first, std::uint16_t last, bool allow) {
  if (last < first) return kDriverOk;
  DriverResult r = kDriverOk;
  std::uint8_t working = 0xFF;
  // A wider counter, so that a range ending at port 0xFFFF still ends.
  for (std::uint32_t p = first; p <= last; ++p) {
    auto index = static_cast<std::uint16_t>(p / 8);
    if (p == first || p % 8 == 0) {
      r = GetMapByte(index, working);
      if (r != kDriverOk) return r;
    }
    std::uint8_t bit = static_cast<std::uint8_t>(1u << (p & 7));
    if (allow)
      working &= static_cast<std::uint8_t>(~bit);
    else
      working |= bit;
    if (p == last || (p & 7) == 7) {
      r = SetMapByte(index, working);
      if (r != kDriverOk) return r;
    }
  }
  return r;
}

std::string TGWIOPM_Driver::ErrorText(DriverResult code) {
  struct Row {
    DriverResult code;
    const char* text;
  };
  static constexpr Row kTable[] = {
      {0, "Operation was successful"},
      {1, "Invalid Function"},
      {5, "Access denied"},
      {1059, "Circular dependency"},
      {1065, "Database doesn't exist"},
      {1051, "Dependent services running"},
      {52, "Display name already exists"},
      {6, "Invalid handle"},
      {123, "Invalid service name"},
      {87, "Invalid Parameter"},
      {1057, "User account doesn't exist"},
      {1052, "Invalid service control code"},
      {3, "Path not found"},
      {1056, "Service already running"},
      {1061, "Service can't accept control"},
      {1055, "The database is locked"},
      {1075, "Depends on nonexistant service"},
      {1068, "Depends on service that failed"},
      {1058, "Service has been disabled"},
      {1060, "Service doesn't exist"},
      {1073, "Service already exists"},
      {1069, "Service couldn't be logged on"},
      {1072, "Service marked for deletion"},
      {1054, "Couldn't create thread"},
      {1062, "Service hasn't been started"},
      {1053, "Service timed out"},
      {9997, "No device handle"},
      {9998, "Can't connect to Service Control Manager"},
      {9999, "An unexpected error occured"},
  };
  for (const Row& row : kTable)
    if (row.code == code) return row.text;
  return "An unexpected error occured";
}

DriverResult GrantReport::Failure() const {
  if (Granted()) return kDriverOk;
  if (activate > 0) return static_cast<DriverResult>(activate);
  if (setRange > 0) return static_cast<DriverResult>(setRange);
  for (DriverResult r : {openDevice, start, install, openScm})
    if (r != kDriverOk) return r;
  return kUnexpectedError;
}

namespace {

DriverRecord& LastRecord() {
  static DriverRecord record;
  return record;
}

}  // namespace

GrantReport PortGrant(TGWIOPM_Driver& driver, std::uint16_t first, std::uint16_t last) {
  GrantReport report;
  auto record = [&](DriverResult code) {
    report.last.code = code;
    report.last.text = TGWIOPM_Driver::ErrorText(code);
    report.last.systemText = driver.Host().SystemMessage(code);
    LastRecord() = report.last;
    return code;
  };
  report.openScm = record(driver.OpenSCM());
  report.install = record(driver.Install());
  report.start = record(driver.Start());
  report.openDevice = record(driver.OpenDevice());
  if (report.openDevice == kDriverOk) {
    report.setRange = driver.SetPortRange(first, last, true);
    report.activate = driver.ActivateMap();
    driver.CloseDevice();
  }
  driver.Remove();
  driver.CloseSCM();
  return report;
}

TGWIOPM_Driver& Driver() {
  static IopmStandIn host;
  static TGWIOPM_Driver driver(host);
  return driver;
}

GrantReport PortGrant(std::uint16_t first, std::uint16_t last) { return PortGrant(Driver(), first, last); }

const DriverRecord& LastDriverRecord() { return LastRecord(); }

}  // namespace qmt
