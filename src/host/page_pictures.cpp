#include "host/page_pictures.h"

#include <algorithm>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

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

}  // namespace qmt
