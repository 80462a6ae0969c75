#include "device/png.h"

#include <png.h>

#include <vector>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

std::string EncodePagePng(const std::uint8_t* page) {
  // The page bytes are already indices into the device's 256 colours: the
  // picture is written colour-mapped, one byte a pixel, in one pass into a
  // buffer of the largest size the encoder can need.
  std::uint8_t palette[256 * 3];
  for (int i = 0; i < 256; ++i) {
    Rgb c = ColourToRGB(static_cast<std::uint8_t>(i));
    palette[3 * i] = c.r;
    palette[3 * i + 1] = c.g;
    palette[3 * i + 2] = c.b;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kPageWidth;
  image.height = kPageHeight;
  image.format = PNG_FORMAT_RGB_COLORMAP;
  image.colormap_entries = 256;
  std::string out(PNG_IMAGE_PNG_SIZE_MAX(image), '\0');
  png_alloc_size_t size = out.size();
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, page, kPageWidth, palette)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why, "", FileError::Op::Encode);
  }
  out.resize(size);
  return out;
}

void WritePagePng(const std::string& path, const std::uint8_t* page) { WriteFileAtomic(path, EncodePagePng(page)); }

}  // namespace qmt
