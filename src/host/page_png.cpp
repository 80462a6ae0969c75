// PNG pictures: read through libpng; report pictures written directly with
// zlib, for speed.
#include "host/page_pictures.h"

#include <png.h>
#include <zlib.h>

#include <cstring>
#include <memory>

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

namespace {

void PutBig32(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
  out.append(b, 4);
}

void PutChunk(std::string& out, const char* type, const std::uint8_t* data, std::size_t size) {
  PutBig32(out, static_cast<std::uint32_t>(size));
  const std::size_t at = out.size();
  out.append(type, 4);
  out.append(reinterpret_cast<const char*>(data), size);
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + at), static_cast<uInt>(size + 4));
  PutBig32(out, static_cast<std::uint32_t>(crc));
}

// The picture's colours and each pixel's index among them, when there are
// at most 256.
bool ColourMap(const RgbImage& picture, std::vector<std::uint8_t>& palette, std::vector<std::uint8_t>& indices) {
  // Open addressing over the colours seen, with the last one at hand: a
  // page is mostly runs of one colour.
  constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
  constexpr std::size_t kSlots = 1024;
  std::array<std::uint32_t, kSlots> keys;
  std::array<std::uint8_t, kSlots> values{};
  keys.fill(kEmpty);
  const std::size_t pixels = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
  indices.resize(pixels);
  palette.clear();
  std::uint32_t lastKey = kEmpty;
  std::uint8_t lastIndex = 0;
  const std::uint8_t* p = picture.rgb.data();
  for (std::size_t i = 0; i < pixels; ++i, p += 3) {
    const std::uint32_t key = static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    if (key != lastKey) {
      std::size_t slot = (key * 2654435761u) >> 22;
      while (keys[slot] != kEmpty && keys[slot] != key) slot = (slot + 1) % kSlots;
      if (keys[slot] == kEmpty) {
        if (palette.size() == 256 * 3) return false;
        keys[slot] = key;
        values[slot] = static_cast<std::uint8_t>(palette.size() / 3);
        palette.insert(palette.end(), p, p + 3);
      }
      lastKey = key;
      lastIndex = values[slot];
    }
    indices[i] = lastIndex;
  }
  return true;
}

}  // namespace

std::string EncodeRgbPng(const RgbImage& picture) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3)
    throw FileError("cannot encode PNG: no picture", "", FileError::Op::Encode);
  // Colour-mapped when the colours allow (a third of the bytes to pack),
  // rows unfiltered and zlib's fastest level: report pictures are written
  // by the hundred and read once.
  std::vector<std::uint8_t> palette, indices;
  const bool mapped = ColourMap(picture, palette, indices);
  const std::size_t width = static_cast<std::size_t>(picture.width);
  const std::size_t rowBytes = mapped ? width : width * 3;
  const std::uint8_t* source = mapped ? indices.data() : picture.rgb.data();
  // The rows, each after its filter byte (none), straight into the
  // compressor.
  z_stream z{};
  if (deflateInit(&z, Z_BEST_SPEED) != Z_OK) throw FileError("cannot encode PNG: zlib failed", "", FileError::Op::Encode);
  const uLong bound = deflateBound(&z, static_cast<uLong>((rowBytes + 1) * static_cast<std::size_t>(picture.height)));
  std::unique_ptr<Bytef[]> packed(new Bytef[bound]);
  z.next_out = packed.get();
  z.avail_out = static_cast<uInt>(bound);
  Bytef none = 0;
  bool ok = true;
  for (std::size_t y = 0; ok && y < static_cast<std::size_t>(picture.height); ++y) {
    z.next_in = &none;
    z.avail_in = 1;
    ok = deflate(&z, Z_NO_FLUSH) == Z_OK;
    z.next_in = const_cast<Bytef*>(source + y * rowBytes);
    z.avail_in = static_cast<uInt>(rowBytes);
    ok = ok && deflate(&z, Z_NO_FLUSH) == Z_OK;
  }
  ok = ok && deflate(&z, Z_FINISH) == Z_STREAM_END;
  const std::size_t packedSize = z.total_out;
  deflateEnd(&z);
  if (!ok) throw FileError("cannot encode PNG: zlib failed", "", FileError::Op::Encode);

  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::uint8_t header[13] = {};
  for (int i = 0; i < 4; ++i) {
    header[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(picture.width) >> (24 - 8 * i));
    header[4 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(picture.height) >> (24 - 8 * i));
  }
  header[8] = 8;                // bits a sample
  header[9] = mapped ? 3 : 2;   // colour type: palette, or RGB
  PutChunk(out, "IHDR", header, sizeof header);
  if (mapped) PutChunk(out, "PLTE", palette.data(), palette.size());
  PutChunk(out, "IDAT", packed.get(), packedSize);
  PutChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace qmt
