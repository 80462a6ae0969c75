#include "link_setup.h"

#include "command.h"
#include "host/page_files.h"
#include "support/file_io.h"

namespace qmt::cli {

LinkSetup OpenCliLink(const std::string& portSpec) {
  LinkSetup setup;
  std::string message;
  setup.link = OpenLink(portSpec, message);
  if (!message.empty()) PrintError("qmt: " + message);
  if (VirtualDevice* v = setup.link->Virtual()) {
    setup.device = std::make_unique<TQMT3308>();
    TQMT3308* device = setup.device.get();
    int* errors = &setup.deviceErrors;
    v->SetLineHandler([device, errors](std::string_view line) {
      if (!device->ExecuteLine(line)) {
        ++*errors;
        PrintError("qmt: virtual device: " + device->LastError() + ": " + ShownLine(line));
      }
    });
  }
  return setup;
}

void SaveDevicePages(const LinkSetup& setup, const std::string& dir) {
  if (!setup.device) throw FileError("--device-pages needs the virtual port (--port virtual)");
  WritePageFiles(*setup.device, dir, {});
}

}  // namespace qmt::cli
