#include "device/png.h"

#include <png.h>

#include <vector>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

std::string EncodePagePng(const std::uint8_t* page) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kPageBytes) * 3);
  for (int i = 0; i < kPageBytes; ++i) {
    Rgb c = ColourToRGB(page[i]);
    rgb[3 * i] = c.r;
    rgb[3 * i + 1] = c.g;
    rgb[3 * i + 2] = c.b;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kPageWidth;
  image.height = kPageHeight;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why);
  }
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why);
  }
  out.resize(size);
  return out;
}

void WritePagePng(const std::string& path, const std::uint8_t* page) { WriteFileAtomic(path, EncodePagePng(page)); }

}  // namespace qmt
