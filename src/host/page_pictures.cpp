#include "host/page_pictures.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

std::vector<std::uint8_t> IgnoredMask(const std::vector<PageRect>& ignored) {
  std::vector<std::uint8_t> mask;
  if (ignored.empty()) return mask;
  mask.assign(kPageBytes, 0);
  for (const PageRect& r : ignored) {
    const int x0 = std::clamp(r.x, 0, kPageWidth), x1 = std::clamp(r.x + std::max(r.w, 0), 0, kPageWidth);
    const int y0 = std::clamp(r.y, 0, kPageHeight), y1 = std::clamp(r.y + std::max(r.h, 0), 0, kPageHeight);
    for (int y = y0; y < y1; ++y)
      std::fill(mask.begin() + y * kPageWidth + x0, mask.begin() + y * kPageWidth + x1, std::uint8_t{1});
  }
  return mask;
}

PageDifference ComparePage(const std::uint8_t* page, const RgbImage& baseline, const std::vector<PageRect>& ignored) {
  PageDifference d;
  const std::vector<std::uint8_t> mask = IgnoredMask(ignored);
  for (std::uint8_t m : mask) d.ignored += m;
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
    if (!mask.empty() && mask[static_cast<std::size_t>(i)]) continue;
    if (d.pixels++ == 0) {
      d.firstX = i % kPageWidth;
      d.firstY = i / kPageWidth;
    }
  }
  return d;
}

namespace {

// The colour byte of an RGB colour the device shows exactly; -1 for any
// other.
int DeviceColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  if (r % 36 || g % 36 || b % 85 || r > 252 || g > 252) return -1;
  return (r / 36) << 5 | (g / 36) << 2 | b / 85;
}

// The picture as colour bytes when every pixel is a device colour.
bool ToColours(const RgbImage& rgb, std::vector<std::uint8_t>& bytes) {
  if (rgb.width != kPageWidth || rgb.height != kPageHeight) return false;
  bytes.resize(kPageBytes);
  for (int i = 0; i < kPageBytes; ++i) {
    const int c = DeviceColour(rgb.rgb[3 * i], rgb.rgb[3 * i + 1], rgb.rgb[3 * i + 2]);
    if (c < 0) return false;
    bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(c);
  }
  return true;
}

}  // namespace

RgbImage BaselinePicture::Rgb() const { return colours ? PagePicture(bytes.data()) : rgb; }

bool DecodeBaseline(const std::string& bytes, BaselinePicture& picture, std::string& error) {
  // The picture's buffer is used again: memory written before costs less
  // than fresh pages.
  picture.colours = false;
  picture.rgb = RgbImage{};
  // A colour-mapped page picture, as the baselines are written: the
  // indices through the colour map, without going to RGB.
  std::vector<std::uint8_t>& indices = picture.bytes;
  std::array<std::uint8_t, 256 * 3> colormap{};
  if (ReadColourMappedPage(bytes, indices, colormap)) {
    int map[256];
    for (int i = 0; i < 256; ++i) map[i] = DeviceColour(colormap[3 * i], colormap[3 * i + 1], colormap[3 * i + 2]);
    bool exact = true;
    for (std::uint8_t& v : indices) {
      if (map[v] < 0) {
        exact = false;
        break;
      }
      v = static_cast<std::uint8_t>(map[v]);
    }
    if (exact) {
      picture.colours = true;
      return true;
    }
  }
  picture.bytes.clear();
  if (!DecodePng(bytes, picture.rgb, error)) return false;
  if (ToColours(picture.rgb, picture.bytes)) {
    picture.colours = true;
    picture.rgb = RgbImage{};
  } else {
    picture.bytes.clear();
  }
  return true;
}

PageDifference ComparePage(const std::uint8_t* page, const BaselinePicture& baseline,
                           const std::vector<PageRect>& ignored) {
  if (!baseline.colours) return ComparePage(page, baseline.rgb, ignored);
  PageDifference d;
  const std::uint8_t* b = baseline.bytes.data();
  if (ignored.empty() && std::memcmp(page, b, kPageBytes) == 0) return d;
  const std::vector<std::uint8_t> mask = IgnoredMask(ignored);
  for (std::uint8_t m : mask) d.ignored += m;
  for (int i = 0; i < kPageBytes; ++i) {
    if (page[i] == b[i] || (!mask.empty() && mask[static_cast<std::size_t>(i)])) continue;
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

RgbImage DiffPicture(const std::uint8_t* page, const RgbImage& baseline, const std::vector<PageRect>& ignored) {
  const bool sameSize = baseline.width == kPageWidth && baseline.height == kPageHeight;
  RgbImage out = sameSize ? baseline : PagePicture(page);
  const std::vector<std::uint8_t> mask = IgnoredMask(ignored);
  int x0 = kPageWidth, y0 = kPageHeight, x1 = -1, y1 = -1;
  for (int i = 0; i < kPageBytes; ++i) {
    std::uint8_t* o = &out.rgb[3 * static_cast<std::size_t>(i)];
    if (!mask.empty() && mask[static_cast<std::size_t>(i)]) {
      // Diagonal stripes, grey over the dimmed picture.
      const int x = i % kPageWidth, y = i / kPageWidth;
      const bool stripe = (x + y) % 8 < 2;
      for (int k = 0; k < 3; ++k) o[k] = stripe ? 160 : static_cast<std::uint8_t>(o[k] / 3);
      continue;
    }
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
