// SavePage and LoadPage: video pages as bitmap files.
#include "device/bmp.h"
#include "device/qmt3308.h"
#include "support/file_io.h"

namespace qmt {
namespace {

void CheckPage(int page, const std::string& file) {
  if (page < 0 || page > 3) throw FileError("no video page " + std::to_string(page) + " for " + file);
}

}  // namespace

void TQMT3308::SavePage(int page, const std::string& file) const {
  CheckPage(page, file);
  WriteBmpPage(file, Page(page));
}

void TQMT3308::LoadPage(int page, const std::string& file) {
  CheckPage(page, file);
  std::string bytes = ReadFile(file);
  BmpToPage(bytes, file, Page(page));
  // The view reads the page's bytes, so a loaded display page is shown at
  // once rather than at the next repaint.
  NotifyPageChanged(page);
}

}  // namespace qmt
