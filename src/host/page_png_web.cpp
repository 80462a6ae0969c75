// The web build has no libpng: PNG baselines are read by the program's own
// reader, and the page saves its screenshots itself.
#include "host/page_pictures.h"
#include "host/png_reader.h"
#include "support/file_io.h"

namespace qmt {

bool DecodePng(const std::string& bytes, RgbImage& picture, std::string& error) {
  return ReadPngPicture(bytes, picture, error);
}

std::string EncodeRgbPng(const RgbImage&) {
  throw FileError("cannot encode PNG: this build writes no PNG pictures", "", FileError::Op::Encode);
}

}  // namespace qmt
