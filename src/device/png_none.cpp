// A build without libpng (the web build): the page saves its screenshots
// itself.
#include "device/png.h"
#include "support/file_io.h"

namespace qmt {

std::string EncodePagePng(const std::uint8_t*) {
  throw FileError("cannot encode PNG: this build writes no PNG pictures", "", FileError::Op::Encode);
}

void WritePagePng(const std::string& path, const std::uint8_t* page) { WriteFileAtomic(path, EncodePagePng(page)); }

}  // namespace qmt
