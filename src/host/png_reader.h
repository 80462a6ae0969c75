// A PNG reader of the program's own, for the build without libpng (the web
// build, where scenario baselines are still PNG files).  It reads what
// libpng reads of non-interlaced pictures: every colour type, 1 to 16 bits.
// The native build reads with libpng (DecodePng); a test holds the two to
// the same pixels.
#pragma once

#include <string>
#include <string_view>

#include "device/bmp.h"

namespace qmt {

// Decodes into 8-bit RGB (16-bit samples keep their high byte; transparent
// pixels are composed over black).  False with a reason when the bytes are
// not a PNG it reads.
bool ReadPngPicture(std::string_view bytes, RgbImage& picture, std::string& error);

// The data of a zlib stream (RFC 1950/1951).  False with a reason when the
// stream is damaged or would unpack to more than `limit` bytes.
bool Inflate(std::string_view zlib, std::string& out, std::size_t limit, std::string& error);

}  // namespace qmt
