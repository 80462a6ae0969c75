// PNG pictures through libpng.
#include "host/page_pictures.h"

#include <png.h>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

bool DecodePng(const std::string& bytes, RgbImage& picture, std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    error = image.message;
    png_image_free(&image);
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxBmpSide || image.height > kMaxBmpSide) {
    error = "picture of " + std::to_string(image.width) + " x " + std::to_string(image.height) + " pixels";
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  // Transparent pixels are composed over black.
  png_color black{0, 0, 0};
  if (!png_image_finish_read(&image, &black, rgb.data(), 0, nullptr)) {
    error = image.message;
    png_image_free(&image);
    return false;
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgb = std::move(rgb);
  return true;
}

bool ReadColourMappedPage(const std::string& bytes, std::vector<std::uint8_t>& indices,
                          std::array<std::uint8_t, 256 * 3>& colormap) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  bool read = false;
  if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) &&
      (image.format & PNG_FORMAT_FLAG_COLORMAP) && !(image.format & PNG_FORMAT_FLAG_ALPHA) &&
      image.width == kPageWidth && image.height == kPageHeight && image.colormap_entries <= 256) {
    image.format = PNG_FORMAT_RGB_COLORMAP;
    // Every pixel is written: a buffer used before is not cleared first.
    indices.resize(kPageBytes);
    read = png_image_finish_read(&image, nullptr, indices.data(), 0, colormap.data()) != 0;
  }
  png_image_free(&image);
  return read;
}

std::string EncodeRgbPng(const RgbImage& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.rgb.data(), 0, nullptr)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why, "", FileError::Op::Encode);
  }
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, picture.rgb.data(), 0, nullptr)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why, "", FileError::Op::Encode);
  }
  out.resize(size);
  return out;
}

}  // namespace qmt
