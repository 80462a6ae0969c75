// Gauge drawing: scaled sine, ticks, arcs, needles and discs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "runtime/gauges.h"
#include "runtime_fixture.h"

namespace qmt {
namespace {

using testing::ContextFixture;
using Lines = std::vector<std::string>;

TEST(ScaledSineTest, KnownValuesAndSymmetry) {
  struct Case {
    std::uint16_t angle;
    std::uint16_t r;
    int expected;
  };
  const Case cases[] = {
      {0x4000, 256, 256}, {0x4000, 100, 100}, {0x8000, 1000, 0},   {0xC000, 1000, -1000},
      {0x2000, 1000, 707}, {0x0800, 1000, 195}, {0, 1000, 0},       {0x6000, 1000, 707},
      {0xE000, 1000, -707}, {0x2800, 1000, 831}, {0x2801, 1000, 832},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaledSine(c.angle, c.r), c.expected) << std::hex << c.angle;
  }
  // Within about one percent of r over the whole turn.
  for (int a = 0; a < 65536; a += 97) {
    const double exact = 1000 * std::sin(a * 2 * 3.14159265358979 / 65536);
    EXPECT_NEAR(ScaledSine(static_cast<std::uint16_t>(a), 1000), exact, 10) << a;
  }
}

TEST(NeedleTriangleTest, CornersFromTheExamples) {
  const TTriangle down = NeedleTriangle({100, 100}, 0, 80);
  EXPECT_EQ(down.p[0], (TGaugePoint{100, 180}));
  EXPECT_EQ(down.p[1], (TGaugePoint{107, 93}));
  EXPECT_EQ(down.p[2], (TGaugePoint{93, 93}));
  const TTriangle left = NeedleTriangle({100, 100}, 0x4000, 80);
  EXPECT_EQ(left.p[0], (TGaugePoint{20, 100}));
  EXPECT_EQ(left.p[1], (TGaugePoint{107, 107}));
  EXPECT_EQ(left.p[2], (TGaugePoint{107, 93}));
}

struct GaugeCase {
  const char* call;
  TBuiltin builtin;
  std::vector<std::int16_t> args;
  Lines lines;
  int result;
  std::uint16_t error = 0;
};

void PrintTo(const GaugeCase& c, std::ostream* os) { *os << c.call; }

class GaugeCallTest : public ContextFixture, public ::testing::WithParamInterface<GaugeCase> {};

TEST_P(GaugeCallTest, SendsLinesAndReturns) {
  const GaugeCase& c = GetParam();
  EXPECT_EQ(Call(c.builtin, c.args), c.result) << c.call;
  EXPECT_EQ(lines, c.lines) << c.call;
  EXPECT_EQ(context.errorCode, c.error) << c.call;
}

const GaugeCase kGaugeCalls[] = {
    {"s(0x4000)", BuiltinS, {0x4000}, {}, 256},
    {"s(0x4000,100)", BuiltinS, {0x4000, 100}, {}, 100},
    {"s(-0x4000,1000)", BuiltinS, {-0x4000, 1000}, {}, -1000},
    {"s(1,2,3)", BuiltinS, {1, 2, 3}, {}, 0, kErrArgumentCount},
    {"s with six arguments", BuiltinS, {1, 2, 3, 4, 5, 6}, {}, 0, kErrArgumentCount},
    {"s(100,100,0x4000,50,10)", BuiltinS, {100, 100, 0x4000, 50, 10}, {"LA160,100,150,100,1"}, 160},
    {"s(100,100,0,50,10)", BuiltinS, {100, 100, 0, 50, 10}, {"LA100,160,100,150,1"}, 100},
    {"arc(100,100,50,0x4000,0xC000,4)", BuiltinArc, {100, 100, 50, 0x4000, -0x4000, 4},
     {"PA50,100,0", "LR15,-35,1", "LR35,-15,1", "LR35,15,1", "LR15,35,1"}, 0},
    {"arc start = end", BuiltinArc, {100, 100, 50, 0x1000, 0x1000, 3},
     {"PA81,147,0", "LR0,0,1", "LR0,0,1", "LR0,0,1"}, 0},
    {"arc with 0 steps moves only", BuiltinArc, {100, 100, 50, 0x4000, -0x4000, 0}, {"PA50,100,0"}, 0},
    {"arc with negative steps moves only", BuiltinArc, {100, 100, 50, 0x4000, -0x4000, -3}, {"PA50,100,0"}, 0},
    {"needle outline", BuiltinNeedle, {100, 100, 0, 80, 0xFC},
     {"CSFC", "LA100,180,107,93,1", "LA107,93,93,93,1", "LA93,93,100,180,1"}, 0},
    {"needle fan with coinciding corners", BuiltinNeedle, {100, 100, 0, 7, 0x2FC}, {"CSFC", "LA100,107,100,100,1"}, 0},
    {"needle fan", BuiltinNeedle, {100, 100, 0, 24, 0x2FC},
     {"CSFC", "LA100,124,102,98,1", "LA100,124,101,98,1", "LA100,124,100,98,1", "LA100,124,99,98,1"}, 0},
    {"needle with four arguments", BuiltinNeedle, {100, 100, 0, 80}, {}, -1, kErrArgumentCount},
    {"needle with eight arguments", BuiltinNeedle, {1, 2, 3, 4, 5, 6, 7, 8}, {}, -1, kErrArgumentCount},
    {"CirFill(50,50,0)", BuiltinCirFill, {50, 50, 0},
     {"LA50,50,50,50,1", "LA50,50,50,50,1", "LA50,50,50,50,1", "LA50,50,50,50,1"}, 0},
    {"CirFill(50,50,-1)", BuiltinCirFill, {50, 50, -1}, {}, 0},
    {"CirFill(10,10,2)", BuiltinCirFill, {10, 10, 2},
     {"LA8,10,12,10,1", "LA8,10,12,10,1", "LA8,9,12,9,1", "LA8,11,12,11,1", "LA9,12,11,12,1", "LA9,8,11,8,1"}, 0},
    {"CirFill(1,2)", BuiltinCirFill, {1, 2}, {}, 0, kErrArgumentCount},
};

INSTANTIATE_TEST_SUITE_P(Calls, GaugeCallTest, ::testing::ValuesIn(kGaugeCalls));

// Applies recorded lines to a small canvas: colour, points and horizontal
// lines, which is all a filled needle sends.
class Canvas {
 public:
  explicit Canvas(std::uint8_t background) { pixels_.fill(background); }
  void Apply(const Lines& lines) {
    for (const std::string& line : lines) {
      int x1, y1, x2, y2, f;
      unsigned c;
      if (std::sscanf(line.c_str(), "CS%2X", &c) == 1) {
        colour_ = static_cast<std::uint8_t>(c);
      } else if (std::sscanf(line.c_str(), "PA%d,%d,%d", &x1, &y1, &f) == 3 && f == 1) {
        Set(x1, y1);
      } else if (std::sscanf(line.c_str(), "LA%d,%d,%d,%d,%d", &x1, &y1, &x2, &y2, &f) == 5 && y1 == y2) {
        for (int x = x1; x <= x2; ++x) Set(x, y1);
      } else {
        ADD_FAILURE() << "unexpected line " << line;
      }
    }
  }
  bool operator==(const Canvas& other) const { return pixels_ == other.pixels_; }
  int Count(std::uint8_t colour) const {
    int n = 0;
    for (auto p : pixels_) n += p == colour;
    return n;
  }

 private:
  void Set(int x, int y) {
    ASSERT_TRUE(x >= 0 && x < kSize && y >= 0 && y < kSize) << x << "," << y;
    pixels_[y * kSize + x] = colour_;
  }
  static constexpr int kSize = 240;
  std::array<std::uint8_t, kSize * kSize> pixels_;
  std::uint8_t colour_ = 0xFF;
};

using NeedleRepaintTest = ContextFixture;

// The short edges step with truncation toward zero, so a needle pointing
// down narrows to a two-pixel tip.
TEST_F(NeedleRepaintTest, ScanlineFillWalksEveryRowOnce) {
  Call(BuiltinNeedle, {100, 100, 0, 24, 0x1FC});
  ASSERT_EQ(lines.size(), 1u + 27);
  EXPECT_EQ(lines[0], "CSFC");
  EXPECT_EQ(lines[1], "LA98,98,102,98,1");
  EXPECT_EQ(lines[9], "LA99,106,102,106,1");
  EXPECT_EQ(lines[22], "LA100,119,101,119,1");
  EXPECT_EQ(lines[27], "LA100,124,101,124,1");
}

TEST_F(NeedleRepaintTest, SameAngleSendsNothing) {
  Call(BuiltinNeedle, {120, 120, 0x2000, 100, 0x1FC, 1000, 0});
  ASSERT_FALSE(lines.empty());
  lines.clear();
  Call(BuiltinNeedle, {120, 120, 0x2000, 100, 0x1FC, 1000, 0});
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(state->needle[1000], 0x2000);
  EXPECT_EQ(state->needle[999], 0);
}

TEST_F(NeedleRepaintTest, IdenticalTrianglesSendOnlyNeedleSpans) {
  // A needle of length 0 is the centre at every angle.
  Call(BuiltinNeedle, {50, 50, 0x1000, 0, 0x1FC, 3, 0x00});
  EXPECT_EQ(lines, (Lines{"CSFC", "PA50,50,1"}));
}

TEST_F(NeedleRepaintTest, OutlineRepaintErasesThenDraws) {
  Call(BuiltinNeedle, {100, 100, 0x4000, 80, 0x0FC, 2, 0x03});
  EXPECT_EQ(lines, (Lines{"CS03", "LA100,180,107,93,1", "LA107,93,93,93,1", "LA93,93,100,180,1", "CSFC",
                          "LA20,100,107,107,1", "LA107,107,107,93,1", "LA107,93,20,100,1"}));
}

// Moving a filled needle row by row leaves the same picture as clearing the
// old one and filling the new one, for small and large moves all round.
TEST_F(NeedleRepaintTest, RowByRowRepaintMatchesAFreshDrawing) {
  const std::uint8_t bg = 0x03;
  const std::uint8_t fg = 0xFC;
  const std::pair<int, int> moves[] = {{0, 0x100},      {0x100, 0},      {0x3F00, 0x4000}, {0x2000, 0x2100},
                                       {0x7F00, 0x8000}, {0xC000, 0xC100}, {0, 0x1000},     {0x1000, 0x9000},
                                       {0xE000, 0x2000}, {0x5000, 0x4E00}};
  for (auto [from, to] : moves) {
    auto state0 = std::make_unique<TRuntimeState>();
    context.state = state0.get();
    Canvas canvas(bg);
    lines.clear();
    Call(BuiltinNeedle, {120, 120, static_cast<std::int16_t>(from), 100, 0x100 | fg, 5});
    canvas.Apply(lines);
    lines.clear();
    Call(BuiltinNeedle, {120, 120, static_cast<std::int16_t>(to), 100, 0x100 | fg, 5, bg});
    canvas.Apply(lines);

    Canvas fresh(bg);
    auto state1 = std::make_unique<TRuntimeState>();
    context.state = state1.get();
    lines.clear();
    Call(BuiltinNeedle, {120, 120, static_cast<std::int16_t>(to), 100, 0x100 | fg});
    fresh.Apply(lines);
    EXPECT_TRUE(canvas == fresh) << std::hex << from << " -> " << to << ": " << canvas.Count(fg) << " vs "
                                 << fresh.Count(fg);
  }
  context.state = state.get();
}

TEST_F(NeedleRepaintTest, SlotsAreIndependentAndCoverSixteenBits) {
  Call(BuiltinNeedle, {100, 100, 0x1234, 50, 0xFC, -1});
  Call(BuiltinNeedle, {100, 100, 0x0042, 50, 0xFC, 8});
  EXPECT_EQ(state->needle[0xFFFF], 0x1234);
  EXPECT_EQ(state->needle[8], 0x42);
  EXPECT_EQ(state->needle[0], 0);
}

TEST_F(NeedleRepaintTest, DefaultArcRunsOverTheTopInSixteenPieces) {
  Call(BuiltinArc, {});
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "PA0,100,0");
  int x = 0;
  int y = 100;
  int top = y;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    int dx, dy, f;
    ASSERT_EQ(std::sscanf(lines[i].c_str(), "LR%d,%d,%d", &dx, &dy, &f), 3) << lines[i];
    x += dx;
    y += dy;
    top = std::min(top, y);
  }
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 100);
  EXPECT_EQ(top, 0);
}

}  // namespace
}  // namespace qmt
