#include "host/png_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qmt {
namespace {

// --- inflate ----------------------------------------------------------------

struct BitReader {
  std::string_view in;
  std::size_t pos = 0;
  std::uint32_t bits = 0;
  int count = 0;

  // Returns -1 past the end.
  int Bits(int n) {
    while (count < n) {
      if (pos >= in.size()) return -1;
      bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[pos++])) << count;
      count += 8;
    }
    const int v = static_cast<int>(bits & ((1u << n) - 1));
    bits >>= n;
    count -= n;
    return v;
  }
};

// A canonical Huffman code: how many codes of each length, and the symbols
// in code order.
struct Huffman {
  std::array<std::uint16_t, 16> counts{};
  std::vector<std::uint16_t> symbols;

  bool Build(const std::uint8_t* lengths, int n) {
    counts.fill(0);
    for (int i = 0; i < n; ++i) ++counts[lengths[i]];
    int left = 1;
    for (int len = 1; len < 16; ++len) {
      left = left * 2 - counts[len];
      if (left < 0) return false;  // more codes than the lengths allow
    }
    std::array<std::uint16_t, 16> offsets{};
    for (int len = 1; len < 15; ++len) offsets[len + 1] = static_cast<std::uint16_t>(offsets[len] + counts[len]);
    symbols.assign(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i)
      if (lengths[i]) symbols[offsets[lengths[i]]++] = static_cast<std::uint16_t>(i);
    return true;
  }

  // -1 at the end of the input or on a code that is not in the table.
  int Decode(BitReader& r) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      const int bit = r.Bits(1);
      if (bit < 0) return -1;
      code |= bit;
      const int count = counts[len];
      if (code - first < count) return symbols[static_cast<std::size_t>(index + code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }
};

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                     33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool Codes(BitReader& r, const Huffman& lengths, const Huffman& distances, std::string& out, std::size_t limit,
           std::string& error) {
  for (;;) {
    int symbol = lengths.Decode(r);
    if (symbol < 0) return error = "damaged compressed data", false;
    if (symbol < 256) {
      if (out.size() >= limit) return error = "picture data larger than the picture", false;
      out.push_back(static_cast<char>(symbol));
      continue;
    }
    if (symbol == 256) return true;
    symbol -= 257;
    if (symbol >= 29) return error = "damaged compressed data", false;
    const int extra = r.Bits(kLengthExtra[symbol]);
    const int d = distances.Decode(r);
    if (extra < 0 || d < 0 || d >= 30) return error = "damaged compressed data", false;
    const int dextra = r.Bits(kDistExtra[d]);
    if (dextra < 0) return error = "damaged compressed data", false;
    const std::size_t length = kLengthBase[symbol] + static_cast<std::size_t>(extra);
    const std::size_t distance = kDistBase[d] + static_cast<std::size_t>(dextra);
    if (distance > out.size()) return error = "damaged compressed data", false;
    if (out.size() + length > limit) return error = "picture data larger than the picture", false;
    for (std::size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
  }
}

std::uint32_t Crc32(std::string_view data) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (char ch : data) c = table[(c ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

bool Inflate(std::string_view zlib, std::string& out, std::size_t limit, std::string& error) {
  out.clear();
  if (zlib.size() < 2 || (static_cast<unsigned char>(zlib[0]) & 0x0F) != 8 ||
      ((static_cast<unsigned char>(zlib[0]) << 8) | static_cast<unsigned char>(zlib[1])) % 31 != 0 ||
      (static_cast<unsigned char>(zlib[1]) & 0x20) != 0)
    return error = "not a zlib stream", false;
  BitReader r{zlib.substr(2)};
  for (int last = 0; !last;) {
    last = r.Bits(1);
    const int type = r.Bits(2);
    if (last < 0 || type < 0) return error = "damaged compressed data", false;
    if (type == 0) {
      r.bits = 0;
      r.count = 0;
      if (r.pos + 4 > r.in.size()) return error = "damaged compressed data", false;
      const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(r.in[i])); };
      const unsigned len = byte(r.pos) | byte(r.pos + 1) << 8;
      const unsigned nlen = byte(r.pos + 2) | byte(r.pos + 3) << 8;
      r.pos += 4;
      if ((len ^ 0xFFFF) != nlen || r.pos + len > r.in.size()) return error = "damaged compressed data", false;
      if (out.size() + len > limit) return error = "picture data larger than the picture", false;
      out.append(r.in.substr(r.pos, len));
      r.pos += len;
    } else if (type == 1) {
      std::array<std::uint8_t, 288> l{};
      for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
      std::array<std::uint8_t, 30> d{};
      d.fill(5);
      Huffman lengths, distances;
      lengths.Build(l.data(), 288);
      distances.Build(d.data(), 30);
      if (!Codes(r, lengths, distances, out, limit, error)) return false;
    } else if (type == 2) {
      const int nlen = r.Bits(5), ndist = r.Bits(5), ncode = r.Bits(4);
      if (nlen < 0 || ndist < 0 || ncode < 0 || nlen + 257 > 286 || ndist + 1 > 30)
        return error = "damaged compressed data", false;
      static constexpr std::array<std::uint8_t, 19> kOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
      std::array<std::uint8_t, 19> cl{};
      for (int i = 0; i < ncode + 4; ++i) {
        const int v = r.Bits(3);
        if (v < 0) return error = "damaged compressed data", false;
        cl[kOrder[i]] = static_cast<std::uint8_t>(v);
      }
      Huffman codeLengths;
      if (!codeLengths.Build(cl.data(), 19)) return error = "damaged compressed data", false;
      std::array<std::uint8_t, 316> lens{};
      const int total = nlen + 257 + ndist + 1;
      for (int i = 0; i < total;) {
        const int sym = codeLengths.Decode(r);
        if (sym < 0) return error = "damaged compressed data", false;
        if (sym < 16) {
          lens[i++] = static_cast<std::uint8_t>(sym);
          continue;
        }
        int repeat = 0;
        std::uint8_t value = 0;
        if (sym == 16) {
          if (i == 0) return error = "damaged compressed data", false;
          value = lens[i - 1];
          repeat = 3 + r.Bits(2);
        } else if (sym == 17) {
          repeat = 3 + r.Bits(3);
        } else {
          repeat = 11 + r.Bits(7);
        }
        if (repeat < 3 || i + repeat > total) return error = "damaged compressed data", false;
        while (repeat--) lens[i++] = value;
      }
      Huffman lengths, distances;
      if (lens[256] == 0 || !lengths.Build(lens.data(), nlen + 257) ||
          !distances.Build(lens.data() + nlen + 257, ndist + 1))
        return error = "damaged compressed data", false;
      if (!Codes(r, lengths, distances, out, limit, error)) return false;
    } else {
      return error = "damaged compressed data", false;
    }
  }
  // The stream ends with the Adler-32 sum of the data.
  if (r.in.size() - r.pos < 4) return error = "damaged compressed data", false;
  std::uint32_t a = 1, b = 0;
  for (char ch : out) {
    a = (a + static_cast<unsigned char>(ch)) % 65521;
    b = (b + a) % 65521;
  }
  std::uint32_t sum = 0;
  for (int i = 0; i < 4; ++i) sum = sum << 8 | static_cast<unsigned char>(r.in[r.pos + i]);
  if (sum != (b << 16 | a)) return error = "damaged compressed data", false;
  return true;
}

bool ReadPngPicture(std::string_view bytes, RgbImage& picture, std::string& error) {
  static constexpr char kSignature[] = "\x89PNG\r\n\x1A\n";
  if (bytes.size() < 8 || bytes.substr(0, 8) != std::string_view(kSignature, 8))
    return error = "Not a PNG file", false;
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<unsigned char>(bytes[at + 3]);
  };
  std::uint32_t width = 0, height = 0;
  int depth = 0, type = -1, interlace = 0;
  std::vector<std::array<std::uint8_t, 3>> palette;
  std::vector<std::uint8_t> paletteAlpha;
  int keyGrey = -1, keyR = -1, keyG = -1, keyB = -1;
  std::string data;
  bool ended = false;
  for (std::size_t at = 8; !ended;) {
    if (at + 12 > bytes.size()) return error = "truncated PNG file", false;
    const std::uint32_t length = u32(at);
    const std::string_view kind = bytes.substr(at + 4, 4);
    if (length > bytes.size() - at - 12) return error = "truncated PNG file", false;
    const std::string_view body = bytes.substr(at + 8, length);
    if (Crc32(bytes.substr(at + 4, 4 + length)) != u32(at + 8 + length)) return error = "PNG chunk damaged", false;
    at += 12 + length;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(body[i]); };
    if (kind == "IHDR") {
      if (length != 13) return error = "bad IHDR chunk", false;
      width = u32(at - 12 - length + 8);
      height = u32(at - 12 - length + 12);
      depth = b(8);
      type = b(9);
      interlace = b(12);
    } else if (kind == "PLTE") {
      for (std::size_t i = 0; i + 2 < length; i += 3) palette.push_back({b(i), b(i + 1), b(i + 2)});
    } else if (kind == "tRNS") {
      if (type == 3) {
        for (std::size_t i = 0; i < length; ++i) paletteAlpha.push_back(b(i));
      } else if (type == 0 && length >= 2) {
        keyGrey = b(0) << 8 | b(1);
      } else if (type == 2 && length >= 6) {
        keyR = b(0) << 8 | b(1);
        keyG = b(2) << 8 | b(3);
        keyB = b(4) << 8 | b(5);
      }
    } else if (kind == "IDAT") {
      data.append(body);
    } else if (kind == "IEND") {
      ended = true;
    }
  }
  if (type < 0) return error = "PNG file without IHDR", false;
  if (width == 0 || height == 0 || width > kMaxBmpSide || height > kMaxBmpSide) {
    error = "picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  const int channels = type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : type == 6 ? 4 : 0;
  const bool depthOk = (type == 0 && (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)) ||
                       (type == 3 && (depth == 1 || depth == 2 || depth == 4 || depth == 8)) ||
                       ((type == 2 || type == 4 || type == 6) && (depth == 8 || depth == 16));
  if (channels == 0 || !depthOk) return error = "unsupported PNG colour type or bit depth", false;
  if (interlace != 0) return error = "interlaced PNG pictures are not read by this build", false;
  if (type == 3 && palette.empty()) return error = "PNG palette missing", false;

  const std::size_t bitsPerPixel = static_cast<std::size_t>(channels) * depth;
  const std::size_t rowBytes = (width * bitsPerPixel + 7) / 8;
  const std::size_t pixelBytes = std::max<std::size_t>(1, bitsPerPixel / 8);
  std::string raw;
  if (!Inflate(data, raw, (rowBytes + 1) * height, error)) return false;
  if (raw.size() != (rowBytes + 1) * height) return error = "PNG picture data too short", false;

  std::vector<std::uint8_t> prev(rowBytes, 0), row(rowBytes);
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
  const int maxSample = (1 << depth) - 1;
  for (std::uint32_t y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const std::uint8_t*>(raw.data()) + y * (rowBytes + 1);
    const int filter = line[0];
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= pixelBytes ? row[i - pixelBytes] : 0;
      const int up = prev[i];
      const int c = i >= pixelBytes ? prev[i - pixelBytes] : 0;
      int v = line[1 + i];
      switch (filter) {
        case 0: break;
        case 1: v += a; break;
        case 2: v += up; break;
        case 3: v += (a + up) / 2; break;
        case 4: {
          const int p = a + up - c, pa = std::abs(p - a), pb = std::abs(p - up), pc = std::abs(p - c);
          v += pa <= pb && pa <= pc ? a : pb <= pc ? up : c;
          break;
        }
        default: return error = "bad PNG row filter", false;
      }
      row[i] = static_cast<std::uint8_t>(v);
    }
    // Sample k of the row, at the picture's depth.
    const auto sample = [&](std::size_t k) -> int {
      if (depth == 16) return row[k * 2] << 8 | row[k * 2 + 1];
      if (depth == 8) return row[k];
      const std::size_t bit = k * depth;
      return (row[bit / 8] >> (8 - depth - bit % 8)) & maxSample;
    };
    const auto to8 = [&](int s) { return depth == 16 ? s >> 8 : depth == 8 ? s : s * 255 / maxSample; };
    for (std::uint32_t x = 0; x < width; ++x) {
      int r = 0, g = 0, bl = 0, alpha = 255;
      const std::size_t k = static_cast<std::size_t>(x) * channels;
      if (type == 3) {
        const int index = sample(k);
        if (static_cast<std::size_t>(index) >= palette.size()) return error = "PNG palette index out of range", false;
        r = palette[index][0];
        g = palette[index][1];
        bl = palette[index][2];
        if (static_cast<std::size_t>(index) < paletteAlpha.size()) alpha = paletteAlpha[index];
      } else if (type == 0 || type == 4) {
        const int s = sample(k);
        r = g = bl = to8(s);
        if (type == 4) alpha = to8(sample(k + 1));
        else if (s == keyGrey) alpha = 0;
      } else {
        const int sr = sample(k), sg = sample(k + 1), sb = sample(k + 2);
        r = to8(sr);
        g = to8(sg);
        bl = to8(sb);
        if (type == 6) alpha = to8(sample(k + 3));
        else if (sr == keyR && sg == keyG && sb == keyB) alpha = 0;
      }
      std::uint8_t* out = &picture.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      out[0] = static_cast<std::uint8_t>((r * alpha + 127) / 255);
      out[1] = static_cast<std::uint8_t>((g * alpha + 127) / 255);
      out[2] = static_cast<std::uint8_t>((bl * alpha + 127) / 255);
    }
    prev.swap(row);
  }
  return true;
}

}  // namespace qmt
