#include <gtest/gtest.h>

#include "device/colour.h"
#include "device/escape.h"
#include "support/encoding.h"

namespace qmt {
namespace {

TEST(Colour, ToRgbScalesEachChannel) {
  EXPECT_EQ(ColourToRGB(0xFF), (Rgb{252, 252, 255}));
  EXPECT_EQ(ColourToRGB(0x00), (Rgb{0, 0, 0}));
  EXPECT_EQ(ColourToRGB(0x6D), (Rgb{108, 108, 85}));
  EXPECT_EQ(ColourToRGB(0xE0), (Rgb{252, 0, 0}));
  EXPECT_EQ(ColourToColorRef(0x03), 255u << 16);
}

TEST(Colour, NearestColourGivesEveryPaletteEntryBack) {
  for (int c = 0; c < 256; ++c) {
    Rgb rgb = ColourToRGB(static_cast<std::uint8_t>(c));
    EXPECT_EQ(NearestColour(rgb.r, rgb.g, rgb.b), c);
  }
  EXPECT_EQ(NearestColour(255, 255, 255), 0xFF);
  // Each channel goes to its nearest level: 20 -> 36, 19 -> 36, 40 -> 0.
  EXPECT_EQ(NearestColour(20, 19, 40), 0x24);
  // Half-way between two levels goes to the lower one.
  EXPECT_EQ(NearestColour(18, 0, 0), 0x00);
}

TEST(Colour, SevenAndSixteenColourTables) {
  const std::string seven = "BCGMRWY";
  const std::uint8_t sevenBytes[] = {0x03, 0x1F, 0x1C, 0xE3, 0xE0, 0xFF, 0xFC};
  for (std::size_t i = 0; i < seven.size(); ++i) EXPECT_EQ(SevenColour(seven[i]), sevenBytes[i]) << seven[i];
  const std::string sixteen = "0123456789ABCDEF";
  const std::uint8_t sixteenBytes[] = {0x00, 0x03, 0xE0, 0xE3, 0x1C, 0xFC, 0x1F, 0xFF,
                                       0x43, 0x02, 0x80, 0x82, 0x04, 0x84, 0x06, 0x86};
  for (std::size_t i = 0; i < sixteen.size(); ++i)
    EXPECT_EQ(SixteenColour(sixteen[i]), sixteenBytes[i]) << sixteen[i];

  for (char bad : {'r', 'K', '0', ' '}) {
    try {
      SevenColour(bad);
      ADD_FAILURE() << bad;
    } catch (const DeviceError& e) {
      EXPECT_EQ(std::string(e.what()), Sjis("7色指定不適合"));
    }
  }
  for (char bad : {'a', 'G', '\0'}) {
    try {
      SixteenColour(bad);
      ADD_FAILURE() << bad;
    } catch (const DeviceError& e) {
      EXPECT_EQ(std::string(e.what()), Sjis("16色指定不適合"));
    }
  }
}

TEST(Escape, UnescapeTable) {
  struct Case {
    std::string_view in;
    std::string out;
  };
  const Case cases[] = {
      {"PA1,2", "PA1,2"},
      {"GI%00%ff%FF", std::string("GI\0\xFF\xFF", 5)},
      {"A%zzB", "AB"},      // not hexadecimal: the '%' and both characters go
      {"A%4zB", "AB"},
      {"A%4", "A"},         // at the end, what is left goes too
      {"A%", "A"},
      {"%%41", "1"},        // "%%4" is dropped, then '1'
      {"%41%42", "AB"},
  };
  for (const Case& c : cases) EXPECT_EQ(Unescape(c.in), c.out) << c.in;
}

TEST(Escape, DisplayAndAllForms) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  std::string shown = EscapeForDisplay(bytes);
  EXPECT_EQ(Unescape(shown), bytes);
  EXPECT_EQ(Unescape(EscapeAll(bytes)), bytes);
  EXPECT_EQ(EscapeForDisplay(std::string("A\"%\x7F\x80\xA0\xA1\xDF\xE0 z\n", 12)), "A%22%25%7F%80%A0\xA1\xDF%E0 z%0A");
  EXPECT_EQ(EscapeAll("A\xFF"), "%41%FF");
}

}  // namespace
}  // namespace qmt
