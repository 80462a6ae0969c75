// Bitmap files.  The reader takes the uncompressed forms: the 12-byte core
// header and the 40- to 124-byte information headers; 1, 4, 8, 16, 24 and
// 32 bits per pixel; BI_RGB, and BI_BITFIELDS for 16 and 32 bits; rows
// bottom-up (positive height) or top-down (negative height).
#include "device/bmp.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {
namespace {

[[noreturn]] void Corrupt(const std::string& name, const std::string& what) {
  throw FileError("cannot read bitmap " + name + ": " + what, name, FileError::Op::Contents);
}

std::uint32_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}
std::uint32_t U32(std::string_view b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

// One channel taken out through a bit mask and scaled to 0-255.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;

  static Channel From(std::uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask == 0) return c;
    while (((mask >> c.shift) & 1) == 0) ++c.shift;
    c.max = mask >> c.shift;
    return c;
  }
  std::uint8_t Get(std::uint32_t v) const {
    if (max == 0) return 0;
    return static_cast<std::uint8_t>((((v & mask) >> shift) * 255 + max / 2) / max);
  }
};

// What the headers say, checked against the file's size.
struct BmpLayout {
  int width = 0;
  int height = 0;       // always positive
  bool topDown = false;
  int bits = 0;
  std::size_t pixelOffset = 0;
  std::size_t stride = 0;
  std::vector<Rgb> palette;  // for 1, 4 and 8 bits
  Channel red, green, blue;  // for 16 and 32 bits

  // File offset of row y counted from the top.
  std::size_t RowOffset(int y) const {
    int stored = topDown ? y : height - 1 - y;
    return pixelOffset + static_cast<std::size_t>(stored) * stride;
  }
};

BmpLayout ParseLayout(std::string_view b, const std::string& name) {
  BmpLayout l;
  if (b.size() < 14) Corrupt(name, "truncated file header (" + std::to_string(b.size()) + " bytes)");
  if (b[0] != 'B' || b[1] != 'M') Corrupt(name, "not a bitmap file (no \"BM\" signature)");
  if (b.size() < 18) Corrupt(name, "truncated information header");
  const std::uint32_t headerSize = U32(b, 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
      headerSize != 124) {
    Corrupt(name, "unsupported information header size " + std::to_string(headerSize));
  }
  if (b.size() < 14 + headerSize) Corrupt(name, "truncated information header");

  std::int64_t width, height;
  std::uint32_t planes, compression = 0, coloursUsed = 0;
  if (headerSize == 12) {
    width = U16(b, 18);
    height = U16(b, 20);
    planes = U16(b, 22);
    l.bits = static_cast<int>(U16(b, 24));
  } else {
    width = static_cast<std::int32_t>(U32(b, 18));
    height = static_cast<std::int32_t>(U32(b, 22));
    planes = U16(b, 26);
    l.bits = static_cast<int>(U16(b, 28));
    compression = U32(b, 30);
    coloursUsed = U32(b, 46);
  }
  if (planes != 1) Corrupt(name, "bad plane count " + std::to_string(planes));
  if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32) {
    Corrupt(name, "unsupported bits per pixel " + std::to_string(l.bits));
  }
  l.topDown = height < 0;
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxBmpSide || height > kMaxBmpSide || width * height > kMaxBmpPixels) {
    Corrupt(name, "unusable picture size " + std::to_string(width) + " x " + std::to_string(height));
  }
  l.width = static_cast<int>(width);
  l.height = static_cast<int>(height);

  std::size_t tableAt = 14 + headerSize;
  if (compression == 3 && (l.bits == 16 || l.bits == 32)) {
    // The masks sit in the header from 52 bytes on, else right after it.
    std::size_t masksAt = 14 + 40;
    if (headerSize == 40) {
      if (b.size() < masksAt + 12) Corrupt(name, "truncated colour masks");
      tableAt += 12;
    }
    l.red = Channel::From(U32(b, masksAt));
    l.green = Channel::From(U32(b, masksAt + 4));
    l.blue = Channel::From(U32(b, masksAt + 8));
  } else if (compression != 0) {
    static const char* const kNames[] = {"BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS", "BI_JPEG", "BI_PNG"};
    std::string what = compression < 6 ? kNames[compression] : std::to_string(compression);
    Corrupt(name, "unsupported compression " + what + " with " + std::to_string(l.bits) + " bits per pixel");
  } else if (l.bits == 16) {
    l.red = Channel::From(0x7C00);
    l.green = Channel::From(0x03E0);
    l.blue = Channel::From(0x001F);
  } else if (l.bits == 32) {
    l.red = Channel::From(0x00FF0000);
    l.green = Channel::From(0x0000FF00);
    l.blue = Channel::From(0x000000FF);
  }

  if (l.bits <= 8) {
    const std::size_t full = std::size_t{1} << l.bits;
    std::size_t count = coloursUsed == 0 ? full : coloursUsed;
    if (count > full) Corrupt(name, "colour table of " + std::to_string(coloursUsed) + " entries");
    const std::size_t entry = headerSize == 12 ? 3 : 4;
    // Writers that leave the count out (always so with the core header)
    // often store only the entries used; the pixel offset tells.
    const std::size_t pixelOffset = U32(b, 10);
    if (pixelOffset >= tableAt) count = std::min(count, (pixelOffset - tableAt) / entry);
    if (b.size() < tableAt + count * entry) Corrupt(name, "truncated colour table");
    // Indexes beyond a short table read as black.
    l.palette.assign(full, Rgb{0, 0, 0});
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t at = tableAt + i * entry;
      l.palette[i] = Rgb{static_cast<std::uint8_t>(b[at + 2]), static_cast<std::uint8_t>(b[at + 1]),
                         static_cast<std::uint8_t>(b[at])};
    }
  }

  l.pixelOffset = U32(b, 10);
  l.stride = (static_cast<std::size_t>(l.width) * l.bits + 31) / 32 * 4;
  const std::size_t need = l.stride * static_cast<std::size_t>(l.height);
  if (l.pixelOffset > b.size() || b.size() - l.pixelOffset < need) {
    Corrupt(name, "truncated pixel data (" + std::to_string(need) + " bytes expected)");
  }
  return l;
}

// Calls put(x, rgb) for pixels 0 .. count-1 of row y (from the top).
template <typename Put>
void DecodeRow(std::string_view b, const BmpLayout& l, int y, int count, Put&& put) {
  const auto* row = reinterpret_cast<const std::uint8_t*>(b.data()) + l.RowOffset(y);
  switch (l.bits) {
    case 1:
    case 4:
    case 8: {
      const int perByte = 8 / l.bits;
      const int mask = (1 << l.bits) - 1;
      for (int x = 0; x < count; ++x) {
        int shift = (perByte - 1 - x % perByte) * l.bits;
        put(x, l.palette[(row[x / perByte] >> shift) & mask]);
      }
      break;
    }
    case 16:
      for (int x = 0; x < count; ++x) {
        std::uint32_t v = row[2 * x] | static_cast<std::uint32_t>(row[2 * x + 1]) << 8;
        put(x, Rgb{l.red.Get(v), l.green.Get(v), l.blue.Get(v)});
      }
      break;
    case 24:
      for (int x = 0; x < count; ++x) put(x, Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      break;
    case 32:
      for (int x = 0; x < count; ++x) {
        const std::uint8_t* p = row + 4 * x;
        std::uint32_t v = p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
                          static_cast<std::uint32_t>(p[3]) << 24;
        put(x, Rgb{l.red.Get(v), l.green.Get(v), l.blue.Get(v)});
      }
      break;
  }
}

std::uint8_t Nearest(Rgb c) {
  return NearestColour(c.r, c.g, c.b);
}

}  // namespace

RgbImage ReadBmp(std::string_view bytes, const std::string& nameForMessages) {
  BmpLayout l = ParseLayout(bytes, nameForMessages);
  RgbImage image;
  image.width = l.width;
  image.height = l.height;
  image.rgb.resize(static_cast<std::size_t>(l.width) * l.height * 3);
  for (int y = 0; y < l.height; ++y) {
    std::uint8_t* out = image.rgb.data() + static_cast<std::size_t>(y) * l.width * 3;
    DecodeRow(bytes, l, y, l.width, [out](int x, Rgb c) {
      out[3 * x] = c.r;
      out[3 * x + 1] = c.g;
      out[3 * x + 2] = c.b;
    });
  }
  return image;
}

void BmpToPage(std::string_view bytes, const std::string& nameForMessages, std::uint8_t* page) {
  BmpLayout l = ParseLayout(bytes, nameForMessages);
  const int w = l.width < kPageWidth ? l.width : kPageWidth;
  const int h = l.height < kPageHeight ? l.height : kPageHeight;
  // ParseLayout has checked the whole file, so nothing below can fail; the
  // scratch page keeps the page write to one copy all the same.
  std::vector<std::uint8_t> out(kPageBytes, 0x00);
  if (l.bits <= 8) {
    // Map the table once; a table equal to the device palette maps each
    // index to itself, so page files come back byte for byte.
    std::array<std::uint8_t, 256> map{};
    for (std::size_t i = 0; i < l.palette.size(); ++i) map[i] = Nearest(l.palette[i]);
    const int perByte = 8 / l.bits;
    const int mask = (1 << l.bits) - 1;
    for (int y = 0; y < h; ++y) {
      const auto* row = reinterpret_cast<const std::uint8_t*>(bytes.data()) + l.RowOffset(y);
      std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * kPageWidth;
      if (l.bits == 8) {
        for (int x = 0; x < w; ++x) dst[x] = map[row[x]];
      } else {
        for (int x = 0; x < w; ++x) dst[x] = map[(row[x / perByte] >> ((perByte - 1 - x % perByte) * l.bits)) & mask];
      }
    }
  } else {
    for (int y = 0; y < h; ++y) {
      std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * kPageWidth;
      DecodeRow(bytes, l, y, w, [dst](int x, Rgb c) { dst[x] = Nearest(c); });
    }
  }
  std::memcpy(page, out.data(), kPageBytes);
}

std::string EncodePageBmp(const std::uint8_t* page) {
  std::string out(kPageFileBytes, '\0');
  auto put16 = [&out](std::size_t at, std::uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  constexpr std::uint32_t kPixelOffset = 14 + 40 + 1024;
  out[0] = 'B';
  out[1] = 'M';
  put32(2, kPageFileBytes);
  put32(10, kPixelOffset);
  put32(14, 40);
  put32(18, kPageWidth);
  put32(22, kPageHeight);
  put16(26, 1);
  put16(28, 8);
  put32(30, 0);           // BI_RGB
  put32(34, kPageBytes);  // image size
  put32(38, 0);           // resolution left unset
  put32(42, 0);
  put32(46, 256);         // colours used
  put32(50, 256);         // colours important
  for (int i = 0; i < 256; ++i) {
    Rgb c = ColourToRGB(static_cast<std::uint8_t>(i));
    std::size_t at = 54 + 4 * static_cast<std::size_t>(i);
    out[at] = static_cast<char>(c.b);
    out[at + 1] = static_cast<char>(c.g);
    out[at + 2] = static_cast<char>(c.r);
  }
  for (int y = 0; y < kPageHeight; ++y) {
    std::memcpy(out.data() + kPixelOffset + static_cast<std::size_t>(kPageHeight - 1 - y) * kPageWidth,
                page + static_cast<std::size_t>(y) * kPageWidth, kPageWidth);
  }
  return out;
}

void WriteBmpPage(const std::string& path, const std::uint8_t* page) { WriteFileAtomic(path, EncodePageBmp(page)); }

}  // namespace qmt
