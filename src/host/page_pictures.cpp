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
  bool differs = false;
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
    if (sameSize && (c.r != o[0] || c.g != o[1] || c.b != o[2])) {
      o[0] = 255;
      o[1] = 0;
      o[2] = 255;
      differs = true;
    } else {
      for (int k = 0; k < 3; ++k) o[k] = static_cast<std::uint8_t>(o[k] / 3);
    }
  }
  // A yellow frame a few pixels around each group of differences, so that
  // a single pixel is found at a glance.
  if (differs) {
    auto paint = [&](int x, int y) {
      if (x < 0 || y < 0 || x >= kPageWidth || y >= kPageHeight) return;
      std::uint8_t* o = &out.rgb[3 * (static_cast<std::size_t>(y) * kPageWidth + x)];
      if (o[0] == 255 && o[1] == 0 && o[2] == 255) return;  // a differing pixel stays magenta
      o[0] = 255;
      o[1] = 255;
      o[2] = 0;
    };
    for (const PageRect& r : DifferenceAreas(page, baseline, ignored)) {
      const int fx0 = r.x - 3, fy0 = r.y - 3, fx1 = r.x + r.w + 2, fy1 = r.y + r.h + 2;
      for (int x = fx0; x <= fx1; ++x) {
        paint(x, fy0);
        paint(x, fy1);
      }
      for (int y = fy0; y <= fy1; ++y) {
        paint(fx0, y);
        paint(fx1, y);
      }
    }
  }
  return out;
}

std::vector<PageRect> DifferenceAreas(const std::uint8_t* page, const RgbImage& baseline,
                                      const std::vector<PageRect>& ignored, std::size_t most) {
  std::vector<PageRect> areas;
  if (baseline.width != kPageWidth || baseline.height != kPageHeight) return areas;
  const std::vector<std::uint8_t> mask = IgnoredMask(ignored);
  // The differing pixels' bounds in each cell of 8 x 8.
  struct Box {
    int x0 = kPageWidth, y0 = kPageHeight, x1 = -1, y1 = -1;
    bool Empty() const { return x1 < 0; }
    void Add(const Box& b) {
      x0 = std::min(x0, b.x0);
      y0 = std::min(y0, b.y0);
      x1 = std::max(x1, b.x1);
      y1 = std::max(y1, b.y1);
    }
  };
  constexpr int kFine = 8, kFineCols = kPageWidth / kFine, kFineRows = kPageHeight / kFine;
  std::vector<Box> fine(kFineCols * kFineRows);
  bool any = false;
  const std::uint8_t* b = baseline.rgb.data();
  for (int i = 0; i < kPageBytes; ++i, b += 3) {
    const Rgb c = ColourToRGB(page[i]);
    if ((c.r == b[0] && c.g == b[1] && c.b == b[2]) || (!mask.empty() && mask[static_cast<std::size_t>(i)])) continue;
    const int x = i % kPageWidth, y = i / kPageWidth;
    fine[static_cast<std::size_t>(y / kFine * kFineCols + x / kFine)].Add({x, y, x, y});
    any = true;
  }
  if (!any) return areas;
  // Cells that hold differing pixels, joined with their eight neighbours;
  // when that makes too many groups, the cells of a coarser grid, each on
  // its own, so that far-apart pixels keep rings of their own.
  std::vector<bool> seen(fine.size(), false);
  std::vector<int> stack;
  for (int start = 0; start < kFineCols * kFineRows; ++start) {
    if (fine[static_cast<std::size_t>(start)].Empty() || seen[static_cast<std::size_t>(start)]) continue;
    Box group;
    stack.push_back(start);
    seen[static_cast<std::size_t>(start)] = true;
    while (!stack.empty()) {
      const int at = stack.back();
      stack.pop_back();
      group.Add(fine[static_cast<std::size_t>(at)]);
      const int cx = at % kFineCols, cy = at / kFineCols;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = cx + dx, ny = cy + dy;
          if (nx < 0 || ny < 0 || nx >= kFineCols || ny >= kFineRows) continue;
          const auto n = static_cast<std::size_t>(ny * kFineCols + nx);
          if (fine[n].Empty() || seen[n]) continue;
          seen[n] = true;
          stack.push_back(static_cast<int>(n));
        }
    }
    areas.push_back({group.x0, group.y0, group.x1 - group.x0 + 1, group.y1 - group.y0 + 1});
  }
  for (int cell = 2 * kFine; areas.size() > most && cell <= kPageWidth; cell *= 2) {
    const int cols = (kPageWidth + cell - 1) / cell, rows = (kPageHeight + cell - 1) / cell, per = cell / kFine;
    std::vector<Box> bounds(static_cast<std::size_t>(cols * rows));
    for (int fy = 0; fy < kFineRows; ++fy)
      for (int fx = 0; fx < kFineCols; ++fx)
        bounds[static_cast<std::size_t>(fy / per * cols + fx / per)].Add(fine[static_cast<std::size_t>(fy * kFineCols + fx)]);
    areas.clear();
    for (const Box& g : bounds)
      if (!g.Empty()) areas.push_back({g.x0, g.y0, g.x1 - g.x0 + 1, g.y1 - g.y0 + 1});
  }
  return areas;
}

}  // namespace qmt
