// The eight text commands and the two pattern commands on the device: where
// the box lands, how far the position moves, the colours per flag
// combination, the colour suffix, the view notices and the messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "device/glyphs.h"
#include "fonts/freetype_glyphs.h"
#include "device/qmt3308.h"
#include "device_test_util.h"
#include "support/encoding.h"

namespace qmt {
namespace {

using test::PixelAt;
using test::RecordingSurface;

constexpr std::uint8_t kBackground = 0x55;

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << "(" << b.x0 << "," << b.y0 << ")-(" << b.x1 << "," << b.y1 << ")";
}

// The bounding box of the pixels of page 0 that are no longer the background.
Box ChangedBox(const TQMT3308& d) {
  Box b;
  for (int y = 0; y < kPageHeight; ++y)
    for (int x = 0; x < kPageWidth; ++x)
      if (PixelAt(d, 0, x, y) != kBackground) {
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
      }
  return b;
}

void Fill(TQMT3308& d, int page, std::uint8_t value) { std::fill_n(d.Page(page), kPageBytes, value); }

void Exec(TQMT3308& d, const std::string& line) {
  ASSERT_TRUE(d.ExecuteLine(line)) << Cp932ToUtf8(line) << ": " << Cp932ToUtf8(d.LastError());
}

std::string Fails(TQMT3308& d, const std::string& line) {
  EXPECT_FALSE(d.ExecuteLine(line)) << Cp932ToUtf8(line);
  return d.LastError();
}

// Reverse video with overlay off paints the whole box: the rest of it in the
// colour, the glyph pixels black.  So the changed pixels are exactly the box.
TEST(TextCommands, BoxPlacementAndMovement) {
  struct Case {
    const char* setup;
    std::string line;
    Box box;
    TextCursor cursor;  // for the cursor forms
    Point after;        // the cursor (column, row) or the graphic point
    bool atPoint;
  };
  const std::string kana2 = Sjis("Aあ");
  const Case cases[] = {
      {"CP3,2", "CW'AB'", {24, 16, 39, 23}, TextCursor::k8x8, {5, 2}, false},
      {"HP1,1", "HW'" + kana2 + "'", {8, 16, 23, 31}, TextCursor::k8x16, {3, 1}, false},
      {"KP2,3", "KW'2422'", {32, 48, 47, 63}, TextCursor::k16x16, {3, 3}, false},
      {"OP1,1", "OW'24222423'", {32, 32, 95, 63}, TextCursor::k32x32, {3, 1}, false},
      {"PA10,20", "GC'abc'", {10, 20, 33, 27}, {}, {58, 20}, true},
      {"PA10,20", "GH'" + kana2 + "'", {10, 20, 25, 35}, {}, {42, 20}, true},
      {"PA100,50", "GK'2422'", {100, 50, 115, 65}, {}, {116, 50}, true},
      {"PA0,0", "DK'24222423'", {0, 0, 63, 31}, {}, {32, 0}, true},
      // The advance counts characters, whatever their width.
      {"PA600,400", "GK'242224232424'", {600, 400, 639, 415}, {}, {648, 400}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TQMT3308 d;
    Fill(d, 0, kBackground);
    Exec(d, "RV");
    Exec(d, c.setup);
    const DrawingState before = d.State();
    Exec(d, c.line);
    EXPECT_EQ(ChangedBox(d), c.box);
    DrawingState expected = before;
    if (c.atPoint) {
      expected.graphicPoint = c.after;
    } else {
      expected.Cursor(c.cursor) = c.after;
    }
    EXPECT_EQ(d.State().graphicPoint, expected.graphicPoint);
    EXPECT_EQ(d.State().cursors, expected.cursors);
  }
}

TEST(TextCommands, CursorColumnGrowsPastTheEdgeAndTextIsCut) {
  TQMT3308 d;
  Fill(d, 0, kBackground);
  Exec(d, "RV");
  Exec(d, "HP78,0");
  Exec(d, "HW'ABCD'");
  EXPECT_EQ(d.Cursor(TextCursor::k8x16), (Point{82, 0}));
  EXPECT_EQ(ChangedBox(d), (Box{624, 0, 639, 15}));
  Exec(d, "HW'E'");
  EXPECT_EQ(d.Cursor(TextCursor::k8x16), (Point{83, 0}));
  EXPECT_EQ(ChangedBox(d), (Box{624, 0, 639, 15})) << "drawn wholly off the page";
}

// The four-row table, pixel by pixel, against the glyph pixels of the plain
// drawing.  The kanji fills both 8-pixel cells of the box, so the A falls
// beyond it and is cut.
TEST(TextCommands, ReverseAndOverlayFlags) {
  const std::string line = "GH'" + Sjis("漢A") + "',R";
  constexpr std::uint8_t kRed = 0xE0;
  auto draw = [&](const char* reverse, const char* overlay) {
    auto d = std::make_unique<TQMT3308>();
    Fill(*d, 0, kBackground);
    Exec(*d, reverse);
    Exec(*d, overlay);
    Exec(*d, "PA100,100");
    Exec(*d, line);
    return d;
  };
  const auto plain = draw("RC", "MC");
  std::set<std::pair<int, int>> glyph;
  for (int y = 100; y < 116; ++y)
    for (int x = 100; x < 116; ++x)
      if (PixelAt(*plain, 0, x, y) == kRed) glyph.insert({x, y});
  ASSERT_FALSE(glyph.empty());

  struct Row {
    const char *reverse, *overlay;
    std::uint8_t glyphPixel, rest;
  };
  for (const Row& r : {Row{"RC", "MC", kRed, 0x00}, Row{"RC", "MS", kRed, kBackground}, Row{"RV", "MC", 0x00, kRed},
                       Row{"RV", "MS", kBackground, kRed}}) {
    SCOPED_TRACE(std::string(r.reverse) + " " + r.overlay);
    const auto d = draw(r.reverse, r.overlay);
    int wrong = 0;
    for (int y = 98; y < 118; ++y)
      for (int x = 98; x < 126; ++x) {
        const bool inBox = x >= 100 && x < 116 && y >= 100 && y < 116;  // two 8-pixel cells
        const std::uint8_t want = !inBox ? kBackground : glyph.count({x, y}) ? r.glyphPixel : r.rest;
        wrong += PixelAt(*d, 0, x, y) != want;
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(d->Colour(), 0xFF) << "the suffix colours this command only";
  }
}

TEST(TextCommands, CurrentColourWhenNoneIsNamed) {
  TQMT3308 d;
  Fill(d, 0, kBackground);
  Exec(d, "CS1F");
  Exec(d, "RV");
  Exec(d, "CW'A'");
  EXPECT_EQ(PixelAt(d, 0, 7, 7), 0x1F);
}

TEST(TextCommands, DrawingOnTheShownPageIsReportedToTheView) {
  TQMT3308 d;
  RecordingSurface view;
  d.SetWindowSurface(&view);
  Exec(d, "PA630,470");
  Exec(d, "GK'2422'");
  EXPECT_EQ(view.areas, (std::vector<RecordingSurface::Area>{{630, 470, 639, 479}}));
  view.Clear();
  Exec(d, "PA640,0");
  Exec(d, "GK'2422'");
  EXPECT_TRUE(view.areas.empty()) << "nothing of it is on the page";
  Exec(d, "PS1");
  Exec(d, "KW'2422'");
  Exec(d, "PA0,0");
  Exec(d, std::string("GI") + std::string(32, '\xFF'));
  EXPECT_TRUE(view.areas.empty()) << "page 1 is not on show";
  Exec(d, "PS0");
  Exec(d, "KW'2422'");
  EXPECT_EQ(view.areas, (std::vector<RecordingSurface::Area>{{16, 0, 31, 15}}));
  EXPECT_EQ(view.pageChanges, 0);
  d.SetWindowSurface(nullptr);
}

TEST(TextCommands, JisText) {
  TQMT3308 d;
  Exec(d, "KW'2422302'");
  EXPECT_EQ(d.Cursor(TextCursor::k16x16).x, 1) << "three trailing digits make no character";
  Exec(d, "KW'3021'");
  EXPECT_EQ(d.Cursor(TextCursor::k16x16).x, 2);
  Exec(d, "KW''");
  EXPECT_EQ(d.Cursor(TextCursor::k16x16).x, 2);
}

TEST(TextCommands, MessagesLeaveTheDeviceAsItWas) {
  const std::string badJis = Sjis("JISコードの誤り");
  const std::string notInteger = Sjis("' は整数ではありません");
  struct Case {
    std::string line, message;
  };
  const Case cases[] = {
      {"KW'2022'", badJis},
      {"GK'24227F21'", badJis},
      {"DK'2422G021'", "'$G0" + notInteger},
      {"OW'-122'", "'$-1" + notInteger},
      {"CW", Sjis("文字列不足")},
      {"HW'AB", Sjis("文字列の途中で終ってる")},
      {"GC'A',r", Sjis("7色指定不適合")},
      {"GH'A'x", Sjis("余分な文字がある")},
  };
  for (const Case& c : cases) {
    TQMT3308 d;
    Exec(d, "PA5,6");
    Exec(d, "KP1,1");
    const DrawingState before = d.State();
    EXPECT_EQ(Fails(d, c.line), c.message) << c.line;
    EXPECT_EQ(d.State().graphicPoint, before.graphicPoint) << c.line;
    EXPECT_EQ(d.State().cursors, before.cursors) << c.line;
    EXPECT_EQ(test::PixelsOf(d, 0xFF).size(), static_cast<std::size_t>(kPageBytes)) << c.line;
  }
}

// Without glyphs for a height (here: fonts asked for where none are),
// text fails with a message naming the package and nothing else is
// affected.
TEST(TextCommands, NoFontInstalled) {
  const auto empty = std::filesystem::temp_directory_path() / "qmt_no_fonts";
  std::filesystem::create_directories(empty);
  SharedGlyphEngine().SetSource(MakeFreeTypeGlyphs(MakeFontconfigLocator({empty.string()})));
  TQMT3308 d;
  Exec(d, "HP2,2");
  const std::string message = Fails(d, "HW'A'");
  EXPECT_NE(message.find("fonts-ipafont-gothic"), std::string::npos) << message;
  EXPECT_NE(Fails(d, "CW'A'").find("fonts-misaki"), std::string::npos);
  EXPECT_EQ(d.Cursor(TextCursor::k8x16), (Point{2, 2}));
  Exec(d, "TA0,0,10,10,1");
  Exec(d, "PA20,20");
  Exec(d, std::string("GI") + std::string(32, '\xFF'));
  EXPECT_EQ(PixelAt(d, 0, 20, 20), 0xFF);
  SharedGlyphEngine().SetSource(MakeTableGlyphs());
  Exec(d, "HW'A'");
}

// Pattern data: bit 7 of the first byte is the top-left pixel, rows follow
// each other, and any byte value is data.
TEST(PatternCommands, BitOrderAndRawBytes) {
  TQMT3308 d;
  Fill(d, 0, kBackground);
  std::string gi(32, '\0');
  gi[0] = '\x80';   // (0, 0)
  gi[3] = '\x01';   // (15, 1)
  gi[4] = '\x0D';   // row 2: pixels 4, 5 and 7 (a CR byte)
  gi[31] = '\x0A';  // row 15: pixels 12 and 14 (an LF byte)
  Exec(d, "PA100,200");
  Exec(d, "GI" + gi);
  std::set<std::pair<int, int>> want = {{100, 200}, {115, 201}, {104, 202}, {105, 202}, {107, 202}, {112, 215}, {114, 215}};
  std::set<std::pair<int, int>> got;
  for (auto p : test::PixelsOf(d, 0xFF)) got.insert(p);
  EXPECT_EQ(got, want);
  EXPECT_EQ(d.GraphicPoint(), (Point{116, 200}));

  std::string di(128, '\0');
  di[0] = '\x80';   // (0, 0)
  di[7] = '\x01';   // (31, 1)
  di[127] = '\x01';  // (31, 31)
  Fill(d, 0, kBackground);
  Exec(d, "SP40");
  Exec(d, "PA0,0");
  Exec(d, "DI" + di + ",G");
  got.clear();
  for (auto p : test::PixelsOf(d, 0x1C)) got.insert(p);
  EXPECT_EQ(got, (std::set<std::pair<int, int>>{{0, 0}, {31, 1}, {31, 31}}));
  EXPECT_EQ(d.GraphicPoint(), (Point{40, 0})) << "one advance per pattern, whatever its size";
  EXPECT_EQ(d.Colour(), 0xFF);
}

TEST(PatternCommands, InkOnlyAndNoTextFlags) {
  TQMT3308 d;
  Fill(d, 0, kBackground);
  Exec(d, "RV");
  Exec(d, "MC");
  Exec(d, "CL" "Y");
  Exec(d, "GI" + std::string(32, '\xFF'));
  Exec(d, "GI" + std::string(32, '\0'));
  Exec(d, "GI" + std::string(32, '\xFF') + ",R");
  EXPECT_EQ(ChangedBox(d), (Box{0, 0, 47, 15}));
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(PixelAt(d, 0, 0, y), 0xFC);
    EXPECT_EQ(PixelAt(d, 0, 16, y), kBackground) << "an empty pattern changes nothing";
    EXPECT_EQ(PixelAt(d, 0, 32, y), 0xE0);
  }
  EXPECT_EQ(d.GraphicPoint(), (Point{48, 0}));
  EXPECT_EQ(d.Colour(), 0xFC);
}

TEST(PatternCommands, Messages) {
  const std::string data(32, '\x11');
  struct Case {
    std::string line, message;
  };
  const Case cases[] = {
      {"GI" + data.substr(0, 31), Sjis("文字列不足")},
      {"DI" + std::string(127, '\x11'), Sjis("文字列不足")},
      {"GI" + data + ",", Sjis("文字列不足")},
      {"GI" + data + ",r", Sjis("7色指定不適合")},
      {"GI" + data + "x", Sjis("余分な文字がある")},
      {"GI" + data + ",RR", Sjis("余分な文字がある")},
  };
  for (const Case& c : cases) {
    TQMT3308 d;
    EXPECT_EQ(Fails(d, c.line), c.message) << c.line.size();
    EXPECT_EQ(d.GraphicPoint(), (Point{0, 0}));
    EXPECT_EQ(test::PixelsOf(d, 0xFF).size(), static_cast<std::size_t>(kPageBytes));
  }
  TQMT3308 d;
  Exec(d, "GI" + data + "\r\n");
}

}  // namespace
}  // namespace qmt
