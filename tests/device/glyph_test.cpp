// The glyph engine: box geometry, advances, clipping, the cache, code page
// 932 decoding and JIS conversion.  Glyph shapes are the
// font's and are not checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "device/glyphs.h"
#include "support/encoding.h"

namespace qmt {
namespace {

// Columns [from, from + width) of `mask`, as a mask of their own.
TextMask Columns(const TextMask& mask, int from, int width) {
  TextMask part{width, mask.height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * mask.height, 0)};
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < width; ++x)
      if (from + x < mask.width) part.ink[y * width + x] = mask.ink[y * mask.width + from + x];
  return part;
}

int InkCount(const TextMask& mask) {
  int n = 0;
  for (auto v : mask.ink) n += v;
  return n;
}

struct Size {
  int height;
  int fullWidth;  // advance of a full-width glyph
};

class GlyphEngineTest : public ::testing::TestWithParam<Size> {
 protected:
  static GlyphEngine& Engine() { return SharedGlyphEngine(); }
};

// Each glyph lands one advance after the previous one: a half-width glyph
// takes half the room of a full-width one, and the font's advances, not the
// cells, place them.
TEST_P(GlyphEngineTest, AdvancesPlaceEachGlyph) {
  const Size size = GetParam();
  const int h = size.height;
  const std::string kana = Sjis("あ");
  for (const auto& [text, advance] : {std::pair{std::string("A"), size.fullWidth / 2}, std::pair{kana, size.fullWidth}}) {
    SCOPED_TRACE(Cp932ToUtf8(text));
    TextMask one, three;
    Engine().Render(text, advance, h, one);
    Engine().Render(text + text + text, 4 * advance, h, three);
    ASSERT_EQ(three.width, 4 * advance);
    ASSERT_EQ(three.height, h);
    ASSERT_GT(InkCount(one), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Columns(three, i * advance, advance).ink, one.ink) << "glyph " << i;
    EXPECT_EQ(InkCount(Columns(three, 3 * advance, advance)), 0) << "room after the text stays clear";
  }
  // Mixed widths: "Aあ" puts the kana half a cell in.
  TextMask mixed, kanaOnly;
  Engine().Render("A" + kana, size.fullWidth * 2, h, mixed);
  Engine().Render(kana, size.fullWidth, h, kanaOnly);
  EXPECT_EQ(Columns(mixed, size.fullWidth / 2, size.fullWidth).ink, kanaOnly.ink);
}

// Text longer than its box is cut at the right edge, not squeezed.
TEST_P(GlyphEngineTest, RightEdgeCutsGlyphs) {
  const int h = GetParam().height;
  const int full = GetParam().fullWidth;
  const std::string kanji = Sjis("漢字");
  TextMask wide, cut, first;
  Engine().Render(kanji, 2 * full, h, wide);
  Engine().Render(kanji, full + full / 2, h, cut);
  Engine().Render(kanji.substr(0, 2), full, h, first);
  EXPECT_EQ(Columns(cut, 0, full).ink, first.ink);
  EXPECT_EQ(Columns(cut, full, full / 2).ink, Columns(wide, full, full / 2).ink);
  TextMask none;
  Engine().Render(kanji, 0, h, none);
  EXPECT_EQ(none.width, 0);
  EXPECT_TRUE(none.ink.empty());
}

INSTANTIATE_TEST_SUITE_P(CellHeights, GlyphEngineTest, ::testing::Values(Size{8, 8}, Size{16, 16}, Size{32, 32}),
                         [](const auto& info) { return "h" + std::to_string(info.param.height); });

TEST(GlyphCache, RepeatedCharactersAreRasterisedOnce) {
  GlyphEngine engine;
  TextMask mask;
  engine.Render("ABAB", 32, 16, mask);
  EXPECT_EQ(engine.Rasterizations(), 2u);
  engine.Render("BA", 16, 16, mask);
  EXPECT_EQ(engine.Rasterizations(), 2u);
  engine.Render("AB", 32, 32, mask);  // another height is another glyph
  EXPECT_EQ(engine.Rasterizations(), 4u);
  EXPECT_EQ(engine.CachedGlyphs(), 4u);
}

TEST(GlyphCache, StaysWithinItsLimitAndStillDrawsTheSame) {
  GlyphEngine bounded(MakeTableGlyphs(), 3);
  GlyphEngine roomy;
  const std::string text = Sjis("あいうえおかきくけこ");
  TextMask a, b;
  for (int pass = 0; pass < 2; ++pass) {
    bounded.Render(text, 160, 16, a);
    roomy.Render(text, 160, 16, b);
    EXPECT_LE(bounded.CachedGlyphs(), 3u);
    EXPECT_EQ(a.ink, b.ink);
  }
}

TEST(Cp932Text, SplitsAndDecodesCharacters) {
  const std::string text = Sjis("Aあ") + "\x5C" + "\x81";  // trailing lone lead byte
  const auto chars = SplitCp932(text);
  ASSERT_EQ(chars.size(), 4u);
  EXPECT_EQ(CountCp932Chars(text), 4);
  EXPECT_EQ(chars[1].code, 0x82A0);
  EXPECT_EQ(DecodeCp932Char(chars[0]), U'A');
  EXPECT_EQ(DecodeCp932Char(chars[1]), U'\u3042');
  // Code page 932's own table, not JIS X 0208's: wave dash and backslash.
  EXPECT_EQ(DecodeCp932Char({0x8160}), U'\uFF5E');
  EXPECT_EQ(DecodeCp932Char({0x5C}), U'\\');
  // Bytes the code page leaves undefined become its default character.
  EXPECT_EQ(DecodeCp932Char({0x80}), U'\u30FB');
  EXPECT_EQ(DecodeCp932Char({0x81}), U'\u30FB');
  EXPECT_EQ(DecodeCp932Char({0x8120}), U'\u30FB');
}

TEST(JisText, ConvertsToShiftJis) {
  struct Case {
    std::uint8_t j1, j2;
    std::uint16_t sjis;
  };
  for (const Case& c : {Case{0x30, 0x21, 0x889F}, Case{0x24, 0x22, 0x82A0}, Case{0x21, 0x21, 0x8140},
                        Case{0x21, 0x60, 0x8180}, Case{0x5E, 0x7E, 0x9FFC}, Case{0x5F, 0x21, 0xE040},
                        Case{0x7E, 0x7E, 0xEFFC}, Case{0x22, 0xFF, 0x817D}}) {
    EXPECT_EQ(JisToShiftJis(c.j1, c.j2), c.sjis) << std::hex << int(c.j1) << ' ' << int(c.j2);
  }
}

TEST(JisText, GroupsOfFourDigitsAndTheirErrors) {
  EXPECT_EQ(JisHexToShiftJis("2422"), "\x82\xA0");
  EXPECT_EQ(JisHexToShiftJis("3021242a"), "\x88\x9F\x82\xA8");
  EXPECT_EQ(JisHexToShiftJis("2422ZZZ"), "\x82\xA0") << "trailing digits are ignored, whatever they are";
  EXPECT_EQ(JisHexToShiftJis(""), "");

  struct Bad {
    const char* digits;
    std::string message;
  };
  const std::string notInteger = Sjis("' は整数ではありません");
  for (const Bad& b : {Bad{"2022", Sjis("JISコードの誤り")}, Bad{"7F21", Sjis("JISコードの誤り")},
                       Bad{"24G2", "'$G2" + notInteger}, Bad{"2 22", "'$2 " + notInteger},
                       Bad{"2422302X", "'$2X" + notInteger}}) {
    try {
      JisHexToShiftJis(b.digits);
      ADD_FAILURE() << b.digits << " was accepted";
    } catch (const DeviceError& e) {
      EXPECT_EQ(std::string(e.what()), b.message) << b.digits;
    }
  }
}

}  // namespace
}  // namespace qmt
