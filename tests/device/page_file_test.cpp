// Page files and the BMP reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include <png.h>

#include "device/bmp.h"
#include "device/colour.h"
#include "device/png.h"
#include "device/qmt3308.h"
#include "device_test_util.h"
#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("qmt_device_test_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string File(const std::string& name) const { return (path / name).string(); }
};

void Put16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}

// A BMP file built by hand.  pixel(x, y) (from the top) gives a palette
// index for 1-8 bits, else a packed value written little-endian in bits/8
// bytes (for 24 bits: 0xRRGGBB).
struct BmpSpec {
  int width = 3, height = 2, bits = 24;
  bool topDown = false;
  std::uint32_t headerSize = 40, compression = 0;
  std::vector<Rgb> palette;
  std::vector<std::uint32_t> masks;  // BI_BITFIELDS, after a 40-byte header
  std::function<std::uint32_t(int, int)> pixel;
};

std::string MakeBmp(const BmpSpec& s) {
  const std::size_t stride = (static_cast<std::size_t>(s.width) * s.bits + 31) / 32 * 4;
  const std::size_t entry = s.headerSize == 12 ? 3 : 4;
  const std::size_t tableAt = 14 + s.headerSize + 4 * s.masks.size();
  const std::size_t pixelsAt = tableAt + entry * s.palette.size();
  std::string out(pixelsAt + stride * s.height, '\0');
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  Put32(out, 10, static_cast<std::uint32_t>(pixelsAt));
  Put32(out, 14, s.headerSize);
  if (s.headerSize == 12) {
    Put16(out, 18, s.width);
    Put16(out, 20, s.height);
    Put16(out, 22, 1);
    Put16(out, 24, s.bits);
  } else {
    Put32(out, 18, s.width);
    Put32(out, 22, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
    Put16(out, 26, 1);
    Put16(out, 28, s.bits);
    Put32(out, 30, s.compression);
    Put32(out, 46, static_cast<std::uint32_t>(s.palette.size()));
  }
  for (std::size_t i = 0; i < s.masks.size(); ++i) Put32(out, 14 + s.headerSize + 4 * i, s.masks[i]);
  for (std::size_t i = 0; i < s.palette.size(); ++i) {
    out[tableAt + entry * i] = static_cast<char>(s.palette[i].b);
    out[tableAt + entry * i + 1] = static_cast<char>(s.palette[i].g);
    out[tableAt + entry * i + 2] = static_cast<char>(s.palette[i].r);
  }
  for (int y = 0; y < s.height; ++y) {
    std::size_t row = pixelsAt + stride * static_cast<std::size_t>(s.topDown ? y : s.height - 1 - y);
    for (int x = 0; x < s.width; ++x) {
      std::uint32_t v = s.pixel(x, y);
      if (s.bits < 8) {
        int perByte = 8 / s.bits;
        out[row + x / perByte] =
            static_cast<char>(out[row + x / perByte] | v << ((perByte - 1 - x % perByte) * s.bits));
      } else {
        for (int b = 0; b < s.bits / 8; ++b) out[row + x * (s.bits / 8) + b] = static_cast<char>(v >> (8 * b));
      }
    }
  }
  return out;
}

// Every page gets its own pattern, so a mix-up between pages shows.
void Scribble(std::uint8_t* page, int seed) {
  for (int i = 0; i < 640 * 480; ++i) page[i] = static_cast<std::uint8_t>((i * 7 + i / 640 * 13 + seed * 101) & 0xFF);
}

TEST(PageFiles, SaveAndLoadRestoreAllFourPages) {
  TempDir dir;
  TQMT3308 source;
  for (int p = 0; p < 4; ++p) Scribble(source.Page(p), p);
  for (int p = 0; p < 4; ++p) source.SavePage(p, dir.File("VRAM" + std::to_string(p) + ".bmp"));

  TQMT3308 target;
  for (int p = 0; p < 4; ++p) target.LoadPage(p, dir.File("VRAM" + std::to_string(p) + ".bmp"));
  for (int p = 0; p < 4; ++p) EXPECT_EQ(std::memcmp(source.Page(p), target.Page(p), 640 * 480), 0) << p;
}

TEST(PageFiles, LayoutOfTheSavedFile) {
  TQMT3308 d;
  ASSERT_TRUE(d.ExecuteLine("ER"));
  ASSERT_TRUE(d.ExecuteLine("PA0,0,1,R"));    // top-left: the last row stored
  ASSERT_TRUE(d.ExecuteLine("PA1,479,1,G"));  // bottom row: the first row stored
  std::string file = EncodePageBmp(d.Page(0));
  ASSERT_EQ(file.size(), 308278u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<std::uint8_t>(file[2]) | static_cast<std::uint8_t>(file[3]) << 8 |
                static_cast<std::uint8_t>(file[4]) << 16,
            308278);
  EXPECT_EQ(file[10], static_cast<char>(0x36));  // pixels at 1078 = 0x436
  EXPECT_EQ(file[11], static_cast<char>(0x04));
  EXPECT_EQ(file.substr(54 + 4 * 0xE0, 4), std::string("\x00\x00\xFC\x00", 4));
  EXPECT_EQ(file.substr(54 + 4 * 0xFF, 4), std::string("\xFF\xFC\xFC\x00", 4));
  EXPECT_EQ(static_cast<std::uint8_t>(file[1078 + 1]), 0x1C);
  EXPECT_EQ(static_cast<std::uint8_t>(file[1078 + 479 * 640]), 0xE0);
}

TEST(PageFiles, FailuresNameTheFileAndKeepThePage) {
  TempDir dir;
  TQMT3308 d;
  Scribble(d.Page(1), 1);
  std::vector<std::uint8_t> before(d.Page(1), d.Page(1) + 640 * 480);
  auto expectFailure = [&](const std::string& file, const std::string& what) {
    try {
      d.LoadPage(1, file);
      ADD_FAILURE() << file << " loaded";
    } catch (const FileError& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(file), std::string::npos) << message;
      EXPECT_NE(message.find(what), std::string::npos) << message;
    }
    EXPECT_TRUE(std::equal(before.begin(), before.end(), d.Page(1))) << file;
  };
  expectFailure(dir.File("missing.bmp"), "missing.bmp");
  fs::create_directories(dir.path / "folder.bmp");
  expectFailure(dir.File("folder.bmp"), "Is a directory");

  // Saving over a folder fails and leaves nothing behind.
  fs::create_directories(dir.path / "taken.bmp");
  EXPECT_THROW(d.SavePage(0, dir.File("taken.bmp")), FileError);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);

  // One file for each way a bitmap can be broken.
  std::string good = EncodePageBmp(d.Page(0));
  struct Broken {
    const char* name;
    std::string bytes;
    const char* what;
  };
  std::string badMagic = good;
  badMagic[0] = 'P';
  std::string rle = good;
  Put32(rle, 30, 1);
  std::string bigSide = good;
  Put32(bigSide, 18, 100000);
  std::string zeroWidth = good;
  Put32(zeroWidth, 18, 0);
  std::string bits = good;
  Put16(bits, 28, 2);
  std::string header = good;
  Put32(header, 14, 41);
  std::string planes = good;
  Put16(planes, 26, 3);
  std::string offset = good;
  Put32(offset, 10, 0xFFFFFFF0u);
  std::string table = good;
  Put32(table, 46, 300);
  const Broken cases[] = {
      {"empty.bmp", "", "truncated file header"},
      {"header.bmp", good.substr(0, 30), "truncated information header"},
      {"magic.bmp", badMagic, "not a bitmap"},
      {"rle.bmp", rle, "unsupported compression BI_RLE8"},
      {"side.bmp", bigSide, "picture size"},
      {"zero.bmp", zeroWidth, "picture size"},
      {"bits.bmp", bits, "bits per pixel 2"},
      {"hsize.bmp", header, "header size 41"},
      {"planes.bmp", planes, "plane count"},
      {"pixels.bmp", good.substr(0, good.size() - 1), "truncated pixel data"},
      {"offset.bmp", offset, "truncated pixel data"},
      {"palette.bmp", good.substr(0, 54 + 100), "truncated colour table"},
      {"table.bmp", table, "colour table of 300"},
  };
  for (const Broken& b : cases) {
    WriteFileAtomic(dir.File(b.name), b.bytes);
    expectFailure(dir.File(b.name), b.what);
  }
}

TEST(Bmp, VariantsDecodeToTheSamePicture) {
  // A 5 x 3 picture of saturated colours, so every variant maps exactly.
  const Rgb colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}, {255, 255, 0}};
  auto colourAt = [&](int x, int y) { return colours[(x + 2 * y) % 6]; };
  auto packed = [&](int x, int y) {
    Rgb c = colourAt(x, y);
    return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
  };
  std::vector<Rgb> palette(colours, colours + 6);
  auto index = [](int x, int y) { return static_cast<std::uint32_t>((x + 2 * y) % 6); };

  std::vector<std::pair<std::string, BmpSpec>> variants = {
      {"24 bottom-up", BmpSpec{5, 3, 24, false, 40, 0, {}, {}, packed}},
      {"24 top-down", BmpSpec{5, 3, 24, true, 40, 0, {}, {}, packed}},
      {"32", BmpSpec{5, 3, 32, false, 40, 0, {}, {}, packed}},
      {"32 bitfields", BmpSpec{5, 3, 32, false, 40, 3, {}, {0xFF0000, 0xFF00, 0xFF}, packed}},
      {"32 v5 header", BmpSpec{5, 3, 32, true, 124, 0, {}, {}, packed}},
      {"16 555", BmpSpec{5, 3, 16, false, 40, 0, {}, {},
                         [&](int x, int y) {
                           Rgb c = colourAt(x, y);
                           return std::uint32_t(c.r >> 3) << 10 | std::uint32_t(c.g >> 3) << 5 | (c.b >> 3);
                         }}},
      {"8", BmpSpec{5, 3, 8, false, 40, 0, palette, {}, index}},
      {"8 core header", BmpSpec{5, 3, 8, false, 12, 0, palette, {}, index}},
      {"4", BmpSpec{5, 3, 4, true, 40, 0, palette, {}, index}},
  };
  for (auto& [name, layout] : variants) {
    SCOPED_TRACE(name);
    RgbImage image = ReadBmp(MakeBmp(layout), name);
    ASSERT_EQ(image.width, 5);
    ASSERT_EQ(image.height, 3);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        Rgb c{image.rgb[3 * (y * 5 + x)], image.rgb[3 * (y * 5 + x) + 1], image.rgb[3 * (y * 5 + x) + 2]};
        EXPECT_EQ(c, colourAt(x, y)) << x << "," << y;
      }
    }
  }

  // One bit per pixel, with an odd width that leaves padding in every row.
  BmpSpec mono{13, 2, 1, false, 40, 0, {{0, 0, 0}, {255, 255, 255}}, {}, [](int x, int y) { return (x + y) % 2u; }};
  RgbImage image = ReadBmp(MakeBmp(mono), "mono");
  EXPECT_EQ(image.rgb[0], 0);
  EXPECT_EQ(image.rgb[3], 255);
  EXPECT_EQ(image.rgb[3 * 13], 255);
  EXPECT_EQ(image.rgb[3 * 25], 255);
}

TEST(Bmp, OtherSizesArePlacedTopLeftOnABlackPage) {
  TempDir dir;
  TQMT3308 d;
  // Larger than the page on one side, smaller on the other.
  BmpSpec wide{700, 3, 24, false, 40, 0, {}, {}, [](int x, int) { return x < 640 ? 0xFC0000u : 0x0000FFu; }};
  WriteFileAtomic(dir.File("wide.bmp"), MakeBmp(wide));
  d.LoadPage(2, dir.File("wide.bmp"));
  EXPECT_EQ(test::PixelAt(d, 2, 0, 0), 0xE0);
  EXPECT_EQ(test::PixelAt(d, 2, 639, 2), 0xE0);
  EXPECT_EQ(test::PixelAt(d, 2, 0, 3), 0x00);
  EXPECT_EQ(test::PixelAt(d, 2, 639, 479), 0x00);
  // Colours go to the nearest palette entry.
  BmpSpec grey{1, 1, 24, false, 40, 0, {}, {}, [](int, int) { return 0x707055u; }};
  WriteFileAtomic(dir.File("grey.bmp"), MakeBmp(grey));
  d.LoadPage(2, dir.File("grey.bmp"));
  EXPECT_EQ(test::PixelAt(d, 2, 0, 0), 0x6D);
}

TEST(PageFiles, LoadingTheShownPageTellsTheView) {
  TempDir dir;
  TQMT3308 d;
  test::RecordingSurface view;
  d.SavePage(0, dir.File("p.bmp"));
  d.SetWindowSurface(&view);
  d.LoadPage(1, dir.File("p.bmp"));
  EXPECT_EQ(view.pageChanges, 0);
  d.LoadPage(0, dir.File("p.bmp"));
  EXPECT_EQ(view.pageChanges, 1);
}

TEST(Png, WritesThePageWithTheDevicePaletteAndEveryPixelDecodesToItsColour) {
  TempDir dir;
  std::vector<std::uint8_t> page(kPageBytes);
  for (int i = 0; i < kPageBytes; ++i) page[i] = static_cast<std::uint8_t>(i * 7 + i / kPageWidth);
  WritePagePng(dir.File("page.png"), page.data());
  std::string png = ReadFile(dir.File("page.png"));
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x02\x80\0\0\x01\xE0", 8));  // 640 x 480
  EXPECT_EQ(png[24], 8);  // bit depth
  EXPECT_EQ(png[25], 3);  // colour type: palette

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  int wrong = 0;
  for (int i = 0; i < kPageBytes; ++i)
    wrong += ColourToRGB(page[i]) != Rgb{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace qmt
