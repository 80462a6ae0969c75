// A build without libjpeg: the page around the core decodes JPEG pictures.
#include "host/picture_drop.h"

namespace qmt {

bool DecodeJpeg(std::string_view, RgbImage&, std::string& error) {
  error = "not a readable JPEG picture: this build has no JPEG decoder";
  return false;
}

bool JpegDecoderAvailable() { return false; }

}  // namespace qmt
