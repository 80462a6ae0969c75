#include "host/picture_drop.h"

#include <algorithm>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

bool DecodeBmp(std::string_view bytes, const std::string& name, RgbImage& out, std::string& error) {
  try {
    out = ReadBmp(bytes, name);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

void DrawPictureOnPage(const RgbImage& picture, std::uint8_t* page) {
  int w = std::min(picture.width, kPageWidth);
  int h = std::min(picture.height, kPageHeight);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3;
    std::uint8_t* dst = page + static_cast<size_t>(y) * kPageWidth;
    for (int x = 0; x < w; ++x, src += 3) dst[x] = NearestColour(src[0], src[1], src[2]);
  }
}

}  // namespace qmt
