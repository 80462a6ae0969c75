// Pixels of lines, rectangles, points and circles, the page commands, and
// what the attached view hears.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>

#include "device/qmt3308.h"
#include "device_test_util.h"
#include "support/encoding.h"

namespace qmt {
namespace {

using test::PixelAt;
using test::PixelsOf;
using test::RecordingSurface;
using Pixels = std::vector<std::pair<int, int>>;

// A device whose drawing page is black, drawing in white.
struct Black : ::testing::Test {
  TQMT3308 d;
  void SetUp() override { ASSERT_TRUE(d.ExecuteLine("ER")); }
  void Run(const std::string& line) { ASSERT_TRUE(d.ExecuteLine(line)) << line << ": " << Cp932ToUtf8(d.LastError()); }
};

TEST(Device, StartsAsTheSpecifiedDefaults) {
  TQMT3308 d;
  EXPECT_EQ(d.DisplayPage(), 0);
  EXPECT_EQ(d.DrawingPage(), 0);
  EXPECT_EQ(d.Advance(), 16);
  EXPECT_EQ(d.Colour(), 0xFF);
  EXPECT_FALSE(d.Reverse());
  EXPECT_FALSE(d.Overlay());
  for (int p = 0; p < 4; ++p) {
    for (int i = 0; i < 640 * 480; i += 997) {
      ASSERT_EQ(d.Page(p)[i], 0xFF);
      ASSERT_EQ(d.StorePage(p)[i], 0x00);
    }
  }
  EXPECT_EQ(&Device(), &Device());
}

TEST_F(Black, LinesIncludeBothEnds) {
  Run("LA0,0,639,479,1");
  EXPECT_EQ(PixelAt(d, 0, 0, 0), 0xFF);
  EXPECT_EQ(PixelAt(d, 0, 639, 479), 0xFF);
  EXPECT_EQ(PixelsOf(d, 0xFF).size(), 640u);  // one pixel per column of the major axis

  Run("ER");
  Run("LA10,20,13,20,1,R");
  EXPECT_EQ(PixelsOf(d, 0xE0), (Pixels{{10, 20}, {11, 20}, {12, 20}, {13, 20}}));
  EXPECT_EQ(d.Colour(), 0xFF);

  // A steep line from bottom to top sets one pixel per row, both ends.
  Run("ER");
  Run("LA5,9,7,0,1");
  Pixels steep = PixelsOf(d, 0xFF);
  EXPECT_EQ(steep.size(), 10u);
  EXPECT_EQ(steep.front(), (std::pair{7, 0}));
  EXPECT_EQ(steep.back(), (std::pair{5, 9}));
}

TEST_F(Black, FlagZeroDrawsBlack) {
  Run("TA0,0,200,20,1,W");
  Run("LA10,10,100,10,0,R");
  for (int x = 10; x <= 100; ++x) ASSERT_EQ(PixelAt(d, 0, x, 10), 0x00) << x;
  EXPECT_EQ(PixelAt(d, 0, 101, 10), 0xFF);
}

TEST_F(Black, LinesClipToThePageAndMoveThePoint) {
  // From a point far off the page, back onto it.
  Run("PR-640,-480");
  Run("PR-640,-480");
  Run("LR640,480,1");  // (-1280,-960) -> (-640,-480): nothing visible
  EXPECT_TRUE(PixelsOf(d, 0xFF).empty());
  Run("LR640,480,1");  // (-640,-480) -> (0,0): only the end pixel
  EXPECT_EQ(PixelsOf(d, 0xFF), (Pixels{{0, 0}}));
  EXPECT_EQ(d.GraphicPoint(), (Point{0, 0}));

  // A clipped diagonal sets exactly the visible part of the unclipped one.
  Run("ER");
  Run("PA600,400");
  Run("LR640,100,1");
  Pixels clipped = PixelsOf(d, 0xFF);
  Pixels expected;
  for (int i = 0; i <= 640; ++i) {
    // Both rows where the exact line passes halfway between two.
    for (int y = 400 + (2 * i * 100 + 639) / (2 * 640); y <= 400 + (2 * i * 100 + 640) / (2 * 640); ++y) {
      if (600 + i < 640 && y < 480) expected.emplace_back(600 + i, y);
    }
  }
  std::sort(expected.begin(), expected.end(), [](auto a, auto b) { return std::pair{a.second, a.first} < std::pair{b.second, b.first}; });
  EXPECT_EQ(clipped, expected);
}

TEST_F(Black, ALineErasedFromTheOtherEndLeavesNothing) {
  struct Case {
    const char* draw;
    const char* erase;
  };
  const Case cases[] = {
      {"LA10,10,14,11,1", "LA14,11,10,10,0"},
      {"LA100,100,300,151,1", "LA300,151,100,100,0"},
      {"LA7,3,3,40,1", "LA3,40,7,3,0"},
      {"LA10,10,14,11,1", "LR-4,-1,0"},  // LR from where LA ended
  };
  for (const Case& c : cases) {
    Run("ER");
    Run(c.draw);
    Run(c.erase);
    EXPECT_TRUE(PixelsOf(d, 0xFF).empty()) << c.draw << " then " << c.erase << ": " << PixelsOf(d, 0xFF).size();
  }
  // Both pixels where the line passes halfway between two rows.
  Run("ER");
  Run("LA10,10,14,11,1");
  EXPECT_EQ(PixelsOf(d, 0xFF), (Pixels{{10, 10}, {11, 10}, {12, 10}, {12, 11}, {13, 11}, {14, 11}}));
}

TEST_F(Black, Rectangles) {
  Run("TA10,10,20,20,0");
  Pixels outline = PixelsOf(d, 0xFF);
  EXPECT_EQ(outline.size(), 40u);
  for (auto [x, y] : outline) EXPECT_TRUE(x == 10 || x == 20 || y == 10 || y == 20) << x << "," << y;

  // Filled: the larger column and row are left out, in either corner order.
  for (const char* line : {"TA10,10,20,20,1", "TA20,20,10,10,1", "TA20,10,10,20,1"}) {
    SCOPED_TRACE(line);
    Run("ER");
    Run(line);
    Pixels filled = PixelsOf(d, 0xFF);
    ASSERT_EQ(filled.size(), 100u);
    EXPECT_EQ(filled.front(), (std::pair{10, 10}));
    EXPECT_EQ(filled.back(), (std::pair{19, 19}));
  }

  Run("TA0,0,640,480,1,Y");
  EXPECT_EQ(PixelsOf(d, 0xFC).size(), 640u * 480u);
  Run("TA5,5,15,15,2,R");  // erased: black whatever the colour
  EXPECT_EQ(PixelsOf(d, 0x00).size(), 100u);
  Run("TA0,0,640,480,5");  // other digits draw nothing
  EXPECT_EQ(PixelsOf(d, 0x00).size(), 100u);
  EXPECT_EQ(d.GraphicPoint(), (Point{640, 480}));

  Run("PA100,100");
  Run("TR-10,-10,1,G");
  EXPECT_EQ(PixelsOf(d, 0x1C).size(), 100u);
  EXPECT_EQ(PixelAt(d, 0, 90, 90), 0x1C);
  EXPECT_EQ(d.GraphicPoint(), (Point{90, 90}));
}

TEST_F(Black, Pixels) {
  Run("PA639,479,1,C");
  EXPECT_EQ(PixelAt(d, 0, 639, 479), 0x1F);
  Run("PA640,0,1");  // off the right edge: not stored, the point moves
  EXPECT_EQ(d.GraphicPoint(), (Point{640, 0}));
  Run("PA5,5,0");
  EXPECT_EQ(PixelAt(d, 0, 5, 5), 0x00);
  EXPECT_EQ(PixelsOf(d, 0xFF).size(), 0u);

  Run("PA0,479");
  EXPECT_FALSE(d.ExecuteLine("PR0,1,1"));
  EXPECT_EQ(Cp932ToUtf8(d.LastError()), "スキャンライン のインデックスが範囲を越えました");
  EXPECT_EQ(d.GraphicPoint(), (Point{0, 479}));
  EXPECT_TRUE(d.ExecuteLine("PR0,1"));  // without a flag only the point moves
  EXPECT_EQ(d.GraphicPoint(), (Point{0, 480}));
}

TEST_F(Black, CirclesAreSymmetricOutlines) {
  Run("RA100,100,10,G");
  Pixels circle = PixelsOf(d, 0x1C);
  std::set<std::pair<int, int>> set(circle.begin(), circle.end());
  for (auto [x, y] : circle) {
    int dx = x - 100, dy = y - 100;
    EXPECT_TRUE(set.count({100 - dx, y}) && set.count({x, 100 - dy}) && set.count({100 + dy, 100 + dx}));
    int r2 = dx * dx + dy * dy;
    EXPECT_GE(r2, 8 * 8);
    EXPECT_LE(r2, 10 * 10 + 10);
  }
  EXPECT_TRUE(set.count({110, 100}) && set.count({90, 100}) && set.count({100, 110}) && set.count({100, 90}));
  EXPECT_EQ(PixelAt(d, 0, 100, 100), 0x00);  // outline only

  Run("ER");
  Run("RA320,240,0");
  Run("RA320,240,-5");
  EXPECT_TRUE(PixelsOf(d, 0xFF).empty());
  EXPECT_EQ(d.GraphicPoint(), (Point{320, 240}));
}

TEST_F(Black, HugeCirclesReturnAtOnce) {
  auto start = std::chrono::steady_clock::now();
  Run("RA100,100,2000000000");
  Run("RA100,100,-2000000000");
  Run("RA0,0,2147483647");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(PixelsOf(d, 0xFF).empty());  // the outline passes far outside the page

  // Large enough to cross the page: only the crossing rows are drawn.
  // Centre (320, 480), radius 500: row 0 is 480 above the centre, where the
  // outline sits 140 either side.
  Run("RA320,480,500");
  EXPECT_FALSE(PixelsOf(d, 0xFF).empty());
  EXPECT_EQ(PixelAt(d, 0, 320 + 140, 0), 0xFF);
  EXPECT_EQ(PixelAt(d, 0, 320 - 140, 0), 0xFF);
  EXPECT_EQ(PixelAt(d, 0, 320, 0), 0x00);
}

TEST_F(Black, ErClearsOnlyTheDrawingPage) {
  Run("PS2");
  Run("PA5,6,1");
  Run("ER");
  EXPECT_EQ(PixelAt(d, 2, 5, 6), 0x00);
  EXPECT_EQ(PixelAt(d, 1, 5, 6), 0xFF);
}

TEST(PageCommands, StoreCopiesAndTi) {
  TQMT3308 d;
  ASSERT_TRUE(d.ExecuteLine("PS1"));
  ASSERT_TRUE(d.ExecuteLine("PA3,2,1,R"));
  ASSERT_TRUE(d.ExecuteLine("BV1,2"));
  EXPECT_EQ(d.StorePage(2)[2 * 640 + 3], 0xE0);
  ASSERT_TRUE(d.ExecuteLine("TF2,3"));
  EXPECT_EQ(std::memcmp(d.Page(3), d.Page(1), 640 * 480), 0);

  struct Case {
    std::string line;
    const char* error;
  };
  const Case cases[] = {
      {"BV0,4", "0..3以外"},     {"BV4,0", "0..3以外"},       {"BV0;1", ",がない"},
      {"TF0,1\r", "余分な文字"}, {"TF0,1x", "余分な文字"},    {"TF9;1", ",がない"},
      {"TF9,1x", "0..3以外"},    {"TF0,9x", "余分な文字"},    {"FE0", "余分な文字がある"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(d.ExecuteLine(c.line)) << c.line;
    EXPECT_EQ(Cp932ToUtf8(d.LastError()), c.error) << c.line;
  }

  ASSERT_TRUE(d.ExecuteLine("FE"));
  EXPECT_EQ(d.StorePage(2)[2 * 640 + 3], 0x00);

  // TI fills the selected store page; either case of digits.
  std::string ti = "TI";
  ti.reserve(2 + 2 * 640 * 480 + 2);
  for (int k = 0; k < 640 * 480; ++k) ti += (k % 2) ? "aB" : "0f";
  ASSERT_TRUE(d.ExecuteLine("FS1"));
  ASSERT_TRUE(d.ExecuteLine(ti + "\r\n"));
  EXPECT_EQ(d.StorePage(1)[0], 0x0F);
  EXPECT_EQ(d.StorePage(1)[640 * 480 - 1], 0xAB);

  ASSERT_TRUE(d.ExecuteLine("FE"));
  EXPECT_FALSE(d.ExecuteLine(ti + "0"));
  EXPECT_EQ(Cp932ToUtf8(d.LastError()), "余分な文字がある");
  // A bad pair stops the copy; what came before stays written.
  std::string bad = ti;
  bad[2 + 2 * 1000] = 'g';
  ASSERT_TRUE(d.ExecuteLine("FE"));
  EXPECT_FALSE(d.ExecuteLine(bad));
  EXPECT_EQ(Cp932ToUtf8(d.LastError()), "16進が途中");
  EXPECT_EQ(d.StorePage(1)[999], 0xAB);
  EXPECT_EQ(d.StorePage(1)[1000], 0x00);
  EXPECT_FALSE(d.ExecuteLine(ti.substr(0, ti.size() - 1)));
  EXPECT_EQ(Cp932ToUtf8(d.LastError()), "16進が途中");
}

TEST(WindowSurface, MirrorAndRepaintRules) {
  TQMT3308 d;
  RecordingSurface view;
  d.SetWindowSurface(&view);
  using Area = RecordingSurface::Area;

  ASSERT_TRUE(d.ExecuteLine("ER"));
  EXPECT_EQ(view.pageChanges, 1);
  view.Clear();

  // Each drawing reports its box, clipped to the page.
  ASSERT_TRUE(d.ExecuteLine("LA600,10,640,20,1"));
  ASSERT_TRUE(d.ExecuteLine("TA10,10,20,20,1"));
  ASSERT_TRUE(d.ExecuteLine("TA10,10,20,20,0"));
  ASSERT_TRUE(d.ExecuteLine("PA5,6,1"));
  ASSERT_TRUE(d.ExecuteLine("RA0,0,5"));
  ASSERT_TRUE(d.ExecuteLine("TA1,1,1,9,1"));  // empty fill: nothing to report
  ASSERT_TRUE(d.ExecuteLine("PA640,6,1"));    // off the page: nothing to report
  EXPECT_EQ(view.areas, (std::vector<Area>{{600, 10, 639, 20}, {10, 10, 19, 19}, {10, 10, 20, 20}, {5, 6, 5, 6},
                                          {0, 0, 5, 5}}));
  EXPECT_EQ(view.pageChanges, 0);
  view.Clear();

  // Drawing on a page that is not on show tells the view nothing.
  ASSERT_TRUE(d.ExecuteLine("PS1"));
  ASSERT_TRUE(d.ExecuteLine("LA0,0,100,100,1"));
  ASSERT_TRUE(d.ExecuteLine("ER"));
  ASSERT_TRUE(d.ExecuteLine("TF0,2"));
  EXPECT_TRUE(view.areas.empty());
  EXPECT_EQ(view.pageChanges, 0);

  ASSERT_TRUE(d.ExecuteLine("DS1"));
  EXPECT_EQ(view.pageChanges, 1);
  EXPECT_EQ(d.DisplayPageBytes(), d.Page(1));
  ASSERT_TRUE(d.ExecuteLine("TF0,1"));
  EXPECT_EQ(view.pageChanges, 2);
  ASSERT_TRUE(d.ExecuteLine("PA1,1,1"));
  EXPECT_EQ(view.areas.size(), 1u);
}

}  // namespace
}  // namespace qmt
