#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/line_tracer.h"

namespace qmt {
namespace {

struct FakeSurface : TraceSurface {
  void XorLine(TracePoint a, TracePoint b) override { lines.push_back({a, b}); }
  std::vector<std::pair<TracePoint, TracePoint>> lines;
};

struct FakeTool : TraceTarget {
  Page ActivePage() const override { return page; }
  bool ToolsPageShowing() const override { return page == Page::Tools; }
  void SetMouseText(const std::string& t) override { mouse = t; }
  void InsertIntoScript(const std::string& t) override { script += t; }
  void InsertIntoEditor(const std::string& t) override { editor += t; }
  Page page = Page::Test;
  std::string mouse, script, editor;
};

constexpr MouseButtons kNone{};
constexpr MouseButtons kLeft{true, false};
constexpr MouseButtons kRight{false, true};
constexpr MouseButtons kBoth{true, true};

TEST(LineTracer, DragThenRightClickWritesTheLineCall) {
  LineTracer t;
  FakeSurface s;
  FakeTool tool;
  t.TraceLine(kLeft, 100, 50, MouseEventKind::Press, s, &tool);
  t.TraceLine(kLeft, 130, 40, MouseEventKind::Move, s, &tool);
  t.TraceLine(kNone, 140, 45, MouseEventKind::Release, s, &tool);
  EXPECT_FALSE(t.BandShown());
  t.TraceLine(kRight, 300, 300, MouseEventKind::Press, s, &tool);
  // The last band ended where the left button was still down.
  EXPECT_EQ(tool.script, "line(100,50,30,-10)\r\n");
  EXPECT_TRUE(tool.editor.empty());
}

TEST(LineTracer, RubberBandIsErasedByDrawingItAgain) {
  LineTracer t;
  FakeSurface s;
  t.TraceLine(kLeft, 1, 2, MouseEventKind::Press, s, nullptr);
  t.TraceLine(kLeft, 5, 6, MouseEventKind::Move, s, nullptr);
  t.TraceLine(kNone, 5, 6, MouseEventKind::Release, s, nullptr);
  ASSERT_EQ(s.lines.size(), 4u);
  // draw (1,2)-(1,2); erase it; draw (1,2)-(5,6); erase it on release.
  EXPECT_EQ(s.lines[2].second.x, 5);
  EXPECT_EQ(s.lines[3].second.y, 6);
  EXPECT_EQ(s.lines[2].first.x, s.lines[3].first.x);
  EXPECT_FALSE(t.BandShown());
}

TEST(LineTracer, RightClickWhileDraggingLeavesTheBandDrawn) {
  LineTracer t;
  FakeSurface s;
  FakeTool tool;
  tool.page = TraceTarget::Page::Macro;
  t.TraceLine(kLeft, 10, 10, MouseEventKind::Press, s, &tool);
  t.TraceLine(kBoth, 20, 30, MouseEventKind::Press, s, &tool);
  EXPECT_EQ(tool.editor, "line(10,10,10,20)\r\n");
  EXPECT_FALSE(t.BandShown());
  const size_t drawn = s.lines.size();
  t.TraceLine(kLeft, 25, 30, MouseEventKind::Move, s, &tool);
  EXPECT_EQ(s.lines.size(), drawn + 1);  // nothing erased, a new band drawn
}

TEST(LineTracer, WhereTheTextGoesDependsOnThePage) {
  struct Case {
    TraceTarget::Page page;
    bool to_script, to_editor;
  } cases[] = {{TraceTarget::Page::Test, true, false},
               {TraceTarget::Page::Macro, false, true},
               {TraceTarget::Page::Tools, false, false},
               {TraceTarget::Page::Other, false, false}};
  for (const Case& c : cases) {
    LineTracer t;
    FakeSurface s;
    FakeTool tool;
    tool.page = c.page;
    t.TraceLine(kRight, 7, 8, MouseEventKind::Press, s, &tool);
    EXPECT_EQ(tool.script, c.to_script ? "line(0,0,0,0)\r\n" : "");
    EXPECT_EQ(tool.editor, c.to_editor ? "line(0,0,0,0)\r\n" : "");
  }
  // Without the window the band is still drawn.
  LineTracer t;
  FakeSurface s;
  t.TraceLine(kLeft, 3, 4, MouseEventKind::Press, s, nullptr);
  EXPECT_EQ(s.lines.size(), 1u);
}

TEST(LineTracer, MouseTextOnlyWhileTheToolsPageShows) {
  LineTracer t;
  FakeSurface s;
  FakeTool tool;
  tool.page = TraceTarget::Page::Tools;
  t.TraceLine(kNone, 7, 12345, MouseEventKind::Move, s, &tool);
  EXPECT_EQ(tool.mouse, "    7,12345");
  tool.page = TraceTarget::Page::Other;
  t.TraceLine(kNone, 8, 9, MouseEventKind::Move, s, &tool);
  EXPECT_EQ(tool.mouse, "    7,12345");
  EXPECT_EQ(LineTracer::MouseText(-3, 640), "   -3,  640");
}

}  // namespace
}  // namespace qmt
