// links: qmt_device
// dict: commands.dict
// ExecuteLine on arbitrary bytes.  The input is split at 0x0A into several
// lines run on one device, so state built by one line (pages, colours,
// cursors, the graphic point) meets the next.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device/qmt3308.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qmt::TQMT3308* device = new qmt::TQMT3308;
  device->ExecuteLine("PS0");
  device->ExecuteLine("DS0");
  std::string_view all(reinterpret_cast<const char*>(data), size);
  while (!all.empty()) {
    std::size_t end = all.find('\n');
    std::string_view line = all.substr(0, end);
    device->ExecuteLine(line);
    if (end == std::string_view::npos) break;
    all.remove_prefix(end + 1);
  }
  return 0;
}
