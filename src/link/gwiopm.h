// Control of the `gwiopm` port I/O driver: installing and starting its
// service, editing the I/O permission map through its device and applying
// the map to this process, so that port instructions on the parallel port's
// registers are allowed.  The service manager and the driver's device are
// reached through DriverHost; on Linux the stand-in in iopm_standin.h plays
// both parts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qmt {

// 0 for success, else the system's error code or one of the codes below.
using DriverResult = std::uint32_t;

inline constexpr DriverResult kDriverOk = 0;
inline constexpr DriverResult kNoDeviceHandle = 9997;
inline constexpr DriverResult kNoServiceManager = 9998;
inline constexpr DriverResult kUnexpectedError = 9999;

// System error codes the driver control and its stand-in produce themselves.
inline constexpr DriverResult kErrorInvalidFunction = 1;
inline constexpr DriverResult kErrorFileNotFound = 2;
inline constexpr DriverResult kErrorAccessDenied = 5;
inline constexpr DriverResult kErrorInvalidHandle = 6;
inline constexpr DriverResult kErrorInvalidParameter = 87;
// The request is not supported: the stand-in's answer when the kernel has
// no port permission call at all (ioperm gives ENOSYS).
inline constexpr DriverResult kErrorNotSupported = 50;

// Access masks and service settings the driver is installed with.
inline constexpr std::uint32_t kManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr std::uint32_t kServiceKernelDriver = 1;
inline constexpr std::uint32_t kServiceDemandStart = 3;
inline constexpr std::uint32_t kServiceErrorNormal = 1;

// Device requests: device type 0xF100, buffered, any access; code =
// 0xF100 * 65536 + function * 4.
constexpr std::uint32_t IopmControlCode(std::uint32_t function) {
  return 0xF100u * 65536u + function * 4u;
}
inline constexpr std::uint32_t kIoctlSetMapByte = IopmControlCode(0x911);  // 0xF1002444
inline constexpr std::uint32_t kIoctlGetMapByte = IopmControlCode(0x912);  // 0xF1002448
inline constexpr std::uint32_t kIoctlActivateMap = IopmControlCode(0x920); // 0xF1002480

// The map has one bit per port (bit p & 7 of byte p / 8); a clear bit allows.
inline constexpr std::size_t kIopmMapBytes = 8192;

// Both request buffers: three 32-bit little-endian words.
using IopmBuffer = std::array<std::uint8_t, 12>;
std::uint32_t BufferWord(const IopmBuffer& buffer, int word);
void SetBufferWord(IopmBuffer& buffer, int word, std::uint32_t value);

struct ServiceConfig {
  std::string name;
  std::string displayName;
  std::uint32_t access = 0;
  std::uint32_t type = 0;
  std::uint32_t start = 0;
  std::uint32_t errorControl = 0;
  std::string binaryPath;
};

// What the driver control needs of the operating system.  Every result is 0
// or the error code the failing call left.
class DriverHost {
 public:
  virtual ~DriverHost() = default;

  // The service control manager of the local machine; false when it cannot
  // be reached.
  virtual bool OpenManager(std::uint32_t access) = 0;
  virtual void CloseManager() = 0;
  virtual DriverResult CreateService(const ServiceConfig& config) = 0;
  // Opens the service by name with `access`, then starts it (no arguments)
  // or marks it for deletion.
  virtual DriverResult StartService(const std::string& name, std::uint32_t access) = 0;
  virtual DriverResult DeleteService(const std::string& name, std::uint32_t access) = 0;

  // Opens the driver's device for reading and writing, unshared.
  virtual DriverResult OpenDevice(const std::string& path) = 0;
  virtual void CloseDevice() = 0;
  virtual DriverResult IoControl(std::uint32_t code, const IopmBuffer& in, IopmBuffer& out) = 0;

  // The system's own message text for a code.
  virtual std::string SystemMessage(DriverResult code) = 0;
};

// One per process (see Driver()); handles are open only within a port grant.
class TGWIOPM_Driver {
 public:
  // `programFolder` ends with a separator; the default is the folder of the
  // running executable.
  explicit TGWIOPM_Driver(DriverHost& host, std::string programFolder = ProgramFolder());

  DriverResult OpenSCM();
  DriverResult CloseSCM();
  DriverResult Install();
  DriverResult Start();
  DriverResult Remove();
  DriverResult OpenDevice();
  DriverResult CloseDevice();
  DriverResult SetMapByte(std::uint16_t index, std::uint8_t value);
  DriverResult GetMapByte(std::uint16_t index, std::uint8_t& value);
  DriverResult ActivateMap();
  // Allows (or denies) ports first..last; each touched map byte is read once
  // and written once, the bits of other ports kept.  Nothing when last < first.
  DriverResult SetPortRange(std::uint16_t first, std::uint16_t last, bool allow);

  static std::string ErrorText(DriverResult code);

  const std::string& ProgramFolderPath() const { return programFolder_; }
  const std::string& DriverFolder() const { return driverFolder_; }
  const std::string& DriverName() const { return driverName_; }
  const std::string& DriverPath() const { return driverPath_; }
  bool ManagerOpen() const { return managerOpen_; }
  bool DeviceOpen() const { return deviceOpen_; }
  DriverHost& Host() { return host_; }

  // Folder of the running executable with a trailing '/' ("./" when unknown).
  static std::string ProgramFolder();

 private:
  DriverResult Request(std::uint32_t code, const IopmBuffer& in, IopmBuffer& out);

  DriverHost& host_;
  std::string programFolder_;
  std::string driverFolder_;
  std::string driverName_ = "gwiopm";
  std::string driverPath_;
  bool managerOpen_ = false;
  bool deviceOpen_ = false;
};

// The last recorded result of a port grant: the code, its ErrorText and the
// system's message for it.
struct DriverRecord {
  DriverResult code = kDriverOk;
  std::string text;
  std::string systemText;
};

// What one port grant did.  The first four steps are recorded; range and
// activate tell whether the process really got the ports (-1: not reached).
struct GrantReport {
  DriverResult openScm = kUnexpectedError;
  DriverResult install = kUnexpectedError;
  DriverResult start = kUnexpectedError;
  DriverResult openDevice = kUnexpectedError;
  long long setRange = -1;
  long long activate = -1;
  DriverRecord last;

  bool Granted() const { return setRange == 0 && activate == 0; }
  // The result that explains a failed grant (0 when granted).
  DriverResult Failure() const;
};

// Install, start, open the device, allow first..last, activate, close,
// remove, close the manager.  A failing step does not stop the sequence.
// Each of the first four results is recorded in LastDriverRecord().
GrantReport PortGrant(TGWIOPM_Driver& driver, std::uint16_t first, std::uint16_t last);
const DriverRecord& LastDriverRecord();

// The process-wide driver control over the Linux stand-in, and the port
// grant on it.
TGWIOPM_Driver& Driver();
GrantReport PortGrant(std::uint16_t first, std::uint16_t last);

}  // namespace qmt
