#include "device/pattern.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "device/colour.h"

namespace qmt {

namespace {

// The box (x, y, w, h) clipped to the page.
ChangedArea ClipToPage(int x, int y, int w, int h) {
  ChangedArea area;
  area.x0 = std::max(x, 0);
  area.y0 = std::max(y, 0);
  // Widened so that positions near the 32-bit limits cannot overflow.
  area.x1 = static_cast<int>(std::min<long long>(static_cast<long long>(x) + w - 1, kPageWidth - 1));
  area.y1 = static_cast<int>(std::min<long long>(static_cast<long long>(y) + h - 1, kPageHeight - 1));
  return area;
}

// Bit 7 - i of a data byte set -> byte i (in memory order) all ones.
constexpr std::array<std::uint64_t, 256> MakeByteMasks() {
  std::array<std::uint64_t, 256> masks{};
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned i = 0; i < 8; ++i)
      if (b & (0x80u >> i)) {
        if constexpr (std::endian::native == std::endian::little) {
          masks[b] |= std::uint64_t{0xFF} << (8 * i);
        } else {
          masks[b] |= std::uint64_t{0xFF} << (8 * (7 - i));
        }
      }
  return masks;
}
constexpr std::array<std::uint64_t, 256> kByteMasks = MakeByteMasks();

}  // namespace

ChangedArea DrawPattern(std::uint8_t* page, int x, int y, int size, const std::uint8_t* bits, std::uint8_t colour) {
  const ChangedArea area = ClipToPage(x, y, size, size);
  if (area.Empty()) return area;
  const int rowBytes = size / 8;
  const bool whole = area.x0 == x && area.x1 == x + size - 1;
  const std::uint64_t colours = 0x0101010101010101ULL * colour;
  for (int py = area.y0; py <= area.y1; ++py) {
    const std::uint8_t* row = bits + static_cast<std::ptrdiff_t>(py - y) * rowBytes;
    std::uint8_t* dst = page + static_cast<std::ptrdiff_t>(py) * kPageWidth;
    if (whole) {
      // The usual case: the pattern lies across the page, eight pixels at a
      // time, each data byte widened to a byte mask.
      std::uint8_t* out = dst + x;
      for (int k = 0; k < rowBytes; ++k, out += 8) {
        const std::uint64_t mask = kByteMasks[row[k]];
        std::uint64_t pixels;
        std::memcpy(&pixels, out, 8);
        pixels = (pixels & ~mask) | (colours & mask);
        std::memcpy(out, &pixels, 8);
      }
      continue;
    }
    for (int px = area.x0; px <= area.x1; ++px) {
      const int bit = px - x;
      if (row[bit >> 3] & (0x80 >> (bit & 7))) dst[px] = colour;
    }
  }
  return area;
}

ChangedArea DrawTextBox(std::uint8_t* page, int x, int y, const TextMask& mask, std::uint8_t colour, bool reverse,
                        bool overlay) {
  const ChangedArea area = ClipToPage(x, y, mask.width, mask.height);
  if (area.Empty()) return area;
  // Reverse swaps which mask value is painted in the colour; the other value
  // is black, or left alone under overlay.  Eight pixels go at a time: mask
  // bytes are 0 or 1, so multiplying by 0xFF widens them to byte masks.
  const std::uint8_t colourInk = reverse ? 0 : 1;
  const std::uint64_t flip = reverse ? 0x0101010101010101ULL : 0;
  const std::uint64_t colours = 0x0101010101010101ULL * colour;
  const int count = area.x1 - area.x0 + 1;
  for (int py = area.y0; py <= area.y1; ++py) {
    const std::uint8_t* src = mask.ink.data() + static_cast<std::ptrdiff_t>(py - y) * mask.width + (area.x0 - x);
    std::uint8_t* dst = page + static_cast<std::ptrdiff_t>(py) * kPageWidth + area.x0;
    int i = 0;
    for (; i + 8 <= count; i += 8) {
      std::uint64_t ink, pixels = 0;
      std::memcpy(&ink, src + i, 8);
      const std::uint64_t paint = ((ink & 0x0101010101010101ULL) ^ flip) * 0xFF;
      if (overlay) std::memcpy(&pixels, dst + i, 8);
      pixels = (pixels & ~paint) | (colours & paint);
      std::memcpy(dst + i, &pixels, 8);
    }
    for (; i < count; ++i) {
      if (src[i] == colourInk) {
        dst[i] = colour;
      } else if (!overlay) {
        dst[i] = 0;
      }
    }
  }
  return area;
}

MonoBitmap MonoBitmap::Blank(int width, int height) {
  MonoBitmap bitmap;
  bitmap.width = std::max(width, 0);
  bitmap.height = std::max(height, 0);
  bitmap.stride = (bitmap.width + 31) / 32 * 4;
  bitmap.bits.assign(static_cast<std::size_t>(bitmap.stride) * bitmap.height, 0);
  return bitmap;
}

void MonoBitmap::Set(int x, int y, bool on) {
  std::uint8_t& byte = bits[static_cast<std::size_t>(y) * stride + x / 8];
  const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
  byte = on ? byte | bit : byte & ~bit;
}

bool MonoBitmap::Get(int x, int y) const {
  return (bits[static_cast<std::size_t>(y) * stride + x / 8] & (0x80 >> (x % 8))) != 0;
}

std::string PatternBlock(const MonoBitmap& bitmap, int bx, int by) {
  if (bx < 0 || by < 0 || 16LL * bx >= bitmap.width || 16LL * by >= bitmap.height) return {};
  // Bits of a row's last byte beyond the width are padding and not picture.
  auto masked = [&](int byteIndex, std::uint8_t value) -> std::uint8_t {
    const int firstPixel = byteIndex * 8;
    const int inside = bitmap.width - firstPixel;
    if (inside <= 0) return 0;
    if (inside >= 8) return value;
    return static_cast<std::uint8_t>(value & (0xFF00 >> inside));
  };
  std::string block(32, '\0');
  for (int r = 0; r < 16; ++r) {
    const int y = 16 * by + r;
    if (y >= bitmap.height) break;
    const std::uint8_t* row = bitmap.bits.data() + static_cast<std::size_t>(y) * bitmap.stride;
    block[2 * r] = static_cast<char>(masked(2 * bx, row[2 * bx]));
    if (16 * bx + 8 < bitmap.width) block[2 * r + 1] = static_cast<char>(masked(2 * bx + 1, row[2 * bx + 1]));
  }
  return block;
}

}  // namespace qmt
