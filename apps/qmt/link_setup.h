// The device link as the qmt commands use it: the port named by --port (or
// QMT_PORT), and for the virtual port an emulated device of its own that
// executes what arrives, so its pages can be saved and compared.
#pragma once

#include <memory>
#include <string>

#include "device/qmt3308.h"
#include "link/device_link.h"

namespace qmt::cli {

struct LinkSetup {
  std::unique_ptr<DeviceLink> link;
  // The virtual device's own emulator; null for the other ports.
  std::unique_ptr<TQMT3308> device;
  int deviceErrors = 0;
};

// Opens the port; a port that cannot be used is reported on standard error
// and replaced by "none".  Lines the virtual device's emulator rejects are
// reported on standard error as they arrive.
LinkSetup OpenCliLink(const std::string& portSpec);

// Saves the virtual device's pages as DIR/VRAM0.bmp ... DIR/VRAM3.bmp
// (creating DIR).  Raises FileError.
void SaveDevicePages(const LinkSetup& setup, const std::string& dir);

}  // namespace qmt::cli
