#include "host/page_pictures.h"

#include <png.h>

#include <algorithm>

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

PageDifference ComparePage(const std::uint8_t* page, const RgbImage& baseline) {
  PageDifference d;
  if (baseline.width != kPageWidth || baseline.height != kPageHeight) {
    d.sizeDiffers = true;
    d.pixels = kPageBytes;
    d.firstX = d.firstY = 0;
    return d;
  }
  const std::uint8_t* b = baseline.rgb.data();
  for (int i = 0; i < kPageBytes; ++i, b += 3) {
    const Rgb c = ColourToRGB(page[i]);
    if (c.r == b[0] && c.g == b[1] && c.b == b[2]) continue;
    if (d.pixels++ == 0) {
      d.firstX = i % kPageWidth;
      d.firstY = i / kPageWidth;
    }
  }
  return d;
}

RgbImage PagePicture(const std::uint8_t* page) {
  RgbImage p{kPageWidth, kPageHeight, std::vector<std::uint8_t>(static_cast<std::size_t>(kPageBytes) * 3)};
  for (int i = 0; i < kPageBytes; ++i) {
    const Rgb c = ColourToRGB(page[i]);
    p.rgb[3 * i] = c.r;
    p.rgb[3 * i + 1] = c.g;
    p.rgb[3 * i + 2] = c.b;
  }
  return p;
}

RgbImage DiffPicture(const std::uint8_t* page, const RgbImage& baseline) {
  const bool sameSize = baseline.width == kPageWidth && baseline.height == kPageHeight;
  RgbImage out = sameSize ? baseline : PagePicture(page);
  int x0 = kPageWidth, y0 = kPageHeight, x1 = -1, y1 = -1;
  for (int i = 0; i < kPageBytes; ++i) {
    std::uint8_t* o = &out.rgb[3 * static_cast<std::size_t>(i)];
    const Rgb c = ColourToRGB(page[i]);
    const bool differs = !sameSize || c.r != o[0] || c.g != o[1] || c.b != o[2];
    if (differs && sameSize) {
      o[0] = 255;
      o[1] = 0;
      o[2] = 255;
      const int x = i % kPageWidth, y = i / kPageWidth;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      y0 = std::min(y0, y);
      y1 = y;
    } else {
      for (int k = 0; k < 3; ++k) o[k] = static_cast<std::uint8_t>(o[k] / 3);
    }
  }
  // A yellow frame a few pixels around the differences, so that a single
  // pixel is found at a glance.
  if (x1 >= 0) {
    x0 -= 3;
    y0 -= 3;
    x1 += 3;
    y1 += 3;
    auto paint = [&](int x, int y) {
      if (x < 0 || y < 0 || x >= kPageWidth || y >= kPageHeight) return;
      std::uint8_t* o = &out.rgb[3 * (static_cast<std::size_t>(y) * kPageWidth + x)];
      o[0] = 255;
      o[1] = 255;
      o[2] = 0;
    };
    for (int x = x0; x <= x1; ++x) {
      paint(x, y0);
      paint(x, y1);
    }
    for (int y = y0; y <= y1; ++y) {
      paint(x0, y);
      paint(x1, y);
    }
  }
  return out;
}

std::string EncodePagePalettePng(const std::uint8_t* page) {
  std::uint8_t palette[256 * 3];
  for (int c = 0; c < 256; ++c) {
    const Rgb rgb = ColourToRGB(static_cast<std::uint8_t>(c));
    palette[3 * c] = rgb.r;
    palette[3 * c + 1] = rgb.g;
    palette[3 * c + 2] = rgb.b;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kPageWidth;
  image.height = kPageHeight;
  image.format = PNG_FORMAT_RGB_COLORMAP;
  image.colormap_entries = 256;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, page, 0, palette)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why, "", FileError::Op::Encode);
  }
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, page, 0, palette)) {
    std::string why = image.message;
    png_image_free(&image);
    throw FileError("cannot encode PNG: " + why, "", FileError::Op::Encode);
  }
  out.resize(size);
  return out;
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
