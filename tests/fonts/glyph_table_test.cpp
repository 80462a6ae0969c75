// The fonts behind the glyph table: how they are found, and that the table
// the programs draw from holds exactly what FreeType renders from them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "device/glyph_table.h"
#include "device/glyphs.h"
#include "fonts/freetype_glyphs.h"
#include "support/encoding.h"

namespace qmt {
namespace {

int InkCount(const TextMask& mask) {
  int n = 0;
  for (auto v : mask.ink) n += v;
  return n;
}

// Every character the text commands can draw (each single byte, each lead
// byte with any byte after it), at each cell height: the table's glyph is
// FreeType's, ink, place and advance alike.
TEST(GlyphTable, HoldsWhatTheFontsRender) {
  auto fonts = MakeFreeTypeGlyphs();
  auto table = MakeTableGlyphs();
  for (int height : glyph_table::kHeights) {
    fonts->Prepare(height);
    table->Prepare(height);
    for (int code = 0; code < 0x10000; ++code) {
      const auto lead = static_cast<std::uint8_t>(code >> 8);
      if (code >= 256 && !IsLeadByte(lead)) continue;
      const Cp932Char c{static_cast<std::uint16_t>(code)};
      const Glyph f = fonts->Rasterize(height, c);
      const Glyph t = table->Rasterize(height, c);
      ASSERT_TRUE(f.left == t.left && f.top == t.top && f.width == t.width && f.rows == t.rows &&
                  f.advance == t.advance && f.stride == t.stride && f.ink == t.ink)
          << "height " << height << " code 0x" << std::hex << code;
    }
  }
  EXPECT_THROW(table->Prepare(12), FontUnavailable);
}

TEST(GlyphFonts, MissingFontNamesThePackage) {
  const auto empty = std::filesystem::temp_directory_path() / "qmt_no_fonts";
  std::filesystem::create_directories(empty);
  GlyphEngine engine(MakeFreeTypeGlyphs(MakeFontconfigLocator({empty.string()})));
  TextMask mask;
  for (const auto& [height, package] : {std::pair{16, "fonts-ipafont-gothic"}, std::pair{32, "fonts-ipafont-gothic"},
                                        std::pair{8, "fonts-misaki"}}) {
    try {
      engine.Render("A", 8, height, mask);
      ADD_FAILURE() << "height " << height << " rendered without fonts";
    } catch (const FontUnavailable& e) {
      EXPECT_NE(std::string(e.what()).find(package), std::string::npos) << e.what();
    }
  }
}

// fontconfig answers some font for any family; a font other than the alias's
// (here the 8-dot one asked for as the large one) must not be taken.
TEST(GlyphFonts, AnotherFamilyDoesNotStandIn) {
  const auto misakiDir = std::filesystem::path(MakeFontconfigLocator()->Locate(8).path).parent_path();
  GlyphEngine engine(MakeFreeTypeGlyphs(MakeFontconfigLocator({misakiDir.string()})));
  TextMask mask;
  engine.Render("A", 8, 8, mask);
  EXPECT_GT(InkCount(mask), 0);
  try {
    engine.Render("A", 8, 16, mask);
    ADD_FAILURE() << "16-pixel text drawn with the 8-dot font";
  } catch (const FontUnavailable& e) {
    EXPECT_NE(std::string(e.what()).find("fonts-ipafont-gothic"), std::string::npos) << e.what();
  }
}

TEST(GlyphFonts, SystemFontsServeEveryCellHeight) {
  auto locator = MakeFontconfigLocator();
  auto file = [&](int h) { return std::filesystem::canonical(locator->Locate(h).path).filename().string(); };
  EXPECT_EQ(file(8), "misaki_gothic.ttf");
  EXPECT_EQ(file(16), "ipag.ttf");
  EXPECT_EQ(file(32), "ipag.ttf");
}

}  // namespace
}  // namespace qmt
