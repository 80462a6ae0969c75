#include "host/picture_drop.h"

#include <algorithm>
#include <cstdint>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

bool DecodeBmp(std::string_view bytes, const std::string& name, RgbImage& out, std::string& error) {
  try {
    out = ReadBmp(bytes, name);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

namespace {

std::uint32_t U16Le(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}
std::uint32_t U16Be(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) << 8 | static_cast<std::uint8_t>(b[at + 1]);
}

PictureHeader BmpHeader(std::string_view b) {
  PictureHeader h;
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return h;
  const std::uint32_t headerSize = U16Le(b, 14) | U16Le(b, 16) << 16;
  std::int64_t width, height;
  if (headerSize == 12) {
    width = U16Le(b, 18);
    height = U16Le(b, 20);
  } else {
    width = static_cast<std::int32_t>(U16Le(b, 18) | U16Le(b, 20) << 16);
    height = static_cast<std::int32_t>(U16Le(b, 22) | U16Le(b, 24) << 16);
  }
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0) return h;
  // Sizes past an int are too large all the same.
  h.readable = true;
  h.width = static_cast<int>(std::min<std::int64_t>(width, INT32_MAX));
  h.height = static_cast<int>(std::min<std::int64_t>(height, INT32_MAX));
  return h;
}

// The markers from the start of image up to the first frame header.
PictureHeader JpegHeader(std::string_view b) {
  PictureHeader h;
  if (b.size() < 4 || static_cast<std::uint8_t>(b[0]) != 0xFF || static_cast<std::uint8_t>(b[1]) != 0xD8) return h;
  std::size_t at = 2;
  while (at + 1 < b.size()) {
    if (static_cast<std::uint8_t>(b[at]) != 0xFF) return h;
    // Fill bytes before a marker.
    while (at + 1 < b.size() && static_cast<std::uint8_t>(b[at + 1]) == 0xFF) ++at;
    if (at + 1 >= b.size()) return h;
    const std::uint8_t marker = static_cast<std::uint8_t>(b[at + 1]);
    at += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA || at + 2 > b.size()) return h;  // no frame before the scan
    const std::uint32_t length = U16Be(b, at);
    if (length < 2) return h;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8 || at + 7 > b.size()) return h;
      h.height = static_cast<int>(U16Be(b, at + 3));
      h.width = static_cast<int>(U16Be(b, at + 5));
      // A height of 0 is given later (DNL), which the decoders do not take.
      h.readable = h.width > 0 && h.height > 0;
      return h;
    }
    at += length;
  }
  return h;
}

}  // namespace

bool PictureHeader::TooLarge() const {
  return readable && (width > kMaxBmpSide || height > kMaxBmpSide ||
                      static_cast<std::int64_t>(width) * height > kMaxBmpPixels);
}

PictureHeader ReadPictureHeader(std::string_view bytes, bool jpeg) {
  return jpeg ? JpegHeader(bytes) : BmpHeader(bytes);
}

std::string NotAPictureText(const std::string& name) { return "「" + name + "」は読める画像ファイルではありません"; }

std::string TooLargePictureText(const std::string& name, const PictureHeader& header) {
  return "「" + name + "」は " + std::to_string(header.width) + " × " + std::to_string(header.height) +
         " 画素の画像で、大きすぎて読み込めません（縦横それぞれ " + std::to_string(kMaxBmpSide) + " 画素、合わせて " +
         std::to_string(kMaxBmpPixels) + " 画素まで）";
}

void DrawPictureOnPage(const RgbImage& picture, std::uint8_t* page) {
  int w = std::min(picture.width, kPageWidth);
  int h = std::min(picture.height, kPageHeight);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3;
    std::uint8_t* dst = page + static_cast<size_t>(y) * kPageWidth;
    for (int x = 0; x < w; ++x, src += 3) dst[x] = NearestColour(src[0], src[1], src[2]);
  }
}

}  // namespace qmt
