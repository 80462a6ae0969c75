// The web build's own PNG reader against libpng: the same pixels for the
// scenario baselines and for each flavour libpng writes.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/page_pictures.h"
#include "host/png_reader.h"
#include "support/file_io.h"

namespace qmt {
namespace {

void ExpectSamePixels(const std::string& bytes, const std::string& what) {
  RgbImage theirs, ours;
  std::string e1, e2;
  ASSERT_TRUE(DecodePng(bytes, theirs, e1)) << what << ": " << e1;
  ASSERT_TRUE(ReadPngPicture(bytes, ours, e2)) << what << ": " << e2;
  EXPECT_EQ(ours.width, theirs.width) << what;
  EXPECT_EQ(ours.height, theirs.height) << what;
  EXPECT_TRUE(ours.rgb == theirs.rgb) << what;
}

TEST(PngReader, ReadsTheScenarioBaselinesAsLibpngDoes) {
  int pictures = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QMT_SOURCE_DIR) + "/tests/scenarios")) {
    if (entry.path().extension() != ".png") continue;
    ExpectSamePixels(ReadFile(entry.path().string()), entry.path().filename().string());
    ++pictures;
  }
  EXPECT_GT(pictures, 10);
}

// libpng's writer, for the flavours: grey, grey and alpha, RGB, RGBA, and
// colour-mapped with few colours (packed below 8 bits a pixel).
std::string Write(png_uint_32 format, int width, int height, const std::vector<png_byte>& pixels,
                  const std::vector<png_byte>& colormap = {}, int colors = 0) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = format;
  image.colormap_entries = colors;
  png_alloc_size_t size = 0;
  const void* map = colormap.empty() ? nullptr : colormap.data();
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, map));
  std::string out(size, '\0');
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, map));
  out.resize(size);
  return out;
}

TEST(PngReader, ReadsEachFlavourAsLibpngDoes) {
  const int w = 13, h = 7;  // odd sizes: rows end inside a byte
  auto fill = [&](int channels, bool opaque) {
    std::vector<png_byte> p(static_cast<std::size_t>(w) * h * channels);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<png_byte>(i * 37 + i / 5);
    if (channels % 2 == 0)  // alpha: fully on or fully off
      for (std::size_t i = channels - 1; i < p.size(); i += channels) p[i] = opaque || i % 3 ? 255 : 0;
    return p;
  };
  ExpectSamePixels(Write(PNG_FORMAT_GRAY, w, h, fill(1, true)), "grey");
  ExpectSamePixels(Write(PNG_FORMAT_GA, w, h, fill(2, false)), "grey and alpha");
  ExpectSamePixels(Write(PNG_FORMAT_RGB, w, h, fill(3, true)), "RGB");
  ExpectSamePixels(Write(PNG_FORMAT_RGBA, w, h, fill(4, false)), "RGBA");
  for (int colors : {2, 4, 16, 200}) {
    std::vector<png_byte> map(static_cast<std::size_t>(colors) * 3);
    for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<png_byte>(i * 53);
    std::vector<png_byte> index(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < index.size(); ++i) index[i] = static_cast<png_byte>((i * 7) % colors);
    ExpectSamePixels(Write(PNG_FORMAT_RGB_COLORMAP, w, h, index, map, colors), std::to_string(colors) + " colours");
  }
}

TEST(PngReader, RefusesDamagedPictures) {
  const std::string good = Write(PNG_FORMAT_RGB, 5, 5, std::vector<png_byte>(75, 9));
  RgbImage picture;
  std::string error;
  EXPECT_FALSE(ReadPngPicture("GIF89a", picture, error));
  EXPECT_FALSE(ReadPngPicture(good.substr(0, good.size() / 2), picture, error));
  std::string flipped = good;
  flipped[flipped.size() - 20] ^= 0x55;  // inside the last data chunk
  EXPECT_FALSE(ReadPngPicture(flipped, picture, error));
  EXPECT_EQ(error, "PNG chunk damaged");
}

}  // namespace
}  // namespace qmt
