// Windows bitmap files: the page file format and the other uncompressed
// variants a user may have.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qmt {

// A decoded picture, rows top-down, three bytes (r, g, b) per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// Pictures larger than this in either direction, or with more pixels than
// kMaxBmpPixels, are refused as corrupt.
constexpr int kMaxBmpSide = 16384;
constexpr std::int64_t kMaxBmpPixels = std::int64_t{64} << 20;

// Decodes an uncompressed BMP (1, 4, 8, 24 or 32 bits per pixel, top-down or
// bottom-up, BI_RGB or BI_BITFIELDS for 32 bits).  Raises FileError naming
// `nameForMessages` and what is wrong (truncated, bad magic, unsupported
// compression, absurd size ...).
RgbImage ReadBmp(std::string_view bytes, const std::string& nameForMessages);

// Converts a BMP file's contents to a 640 x 480 page: an 8-bit file with the
// device palette is copied byte for byte; anything else is mapped to the
// nearest colour, placed at the top left, the rest filled with 0x00.
// Raises FileError as ReadBmp.
void BmpToPage(std::string_view bytes, const std::string& nameForMessages, std::uint8_t* page);

// The 308,278-byte page file: headers, the device palette, rows bottom-up.
std::string EncodePageBmp(const std::uint8_t* page);

// Writes EncodePageBmp atomically (temporary file and rename).
void WriteBmpPage(const std::string& path, const std::uint8_t* page);

constexpr int kPageFileBytes = 14 + 40 + 1024 + 640 * 480;  // 308,278

}  // namespace qmt
