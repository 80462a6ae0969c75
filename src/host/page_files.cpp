#include "host/page_files.h"

#include <filesystem>
#include <system_error>

#include "device/png.h"
#include "support/file_io.h"

namespace qmt {

void WritePageFiles(const TQMT3308& device, const std::string& dir, const std::string& png) {
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw FileError("cannot create " + dir + ": " + ec.message());
    for (int page = 0; page < 4; ++page)
      device.SavePage(page, (std::filesystem::path(dir) / ("VRAM" + std::to_string(page) + ".bmp")).string());
  }
  if (!png.empty()) WritePagePng(png, device.DisplayPageBytes());
}

}  // namespace qmt
