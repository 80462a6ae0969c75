// Text and patterns: CW HW KW OW GC GH GK DK GI DI.
//
// Each command reads and checks all of its arguments, then draws, then moves
// its cursor or the graphic point.  The drawing itself happens in DrawRun and
// DrawPatternAt below.
#include <string>

#include "device/commands.h"
#include "device/glyphs.h"
#include "device/line_reader.h"
#include "device/pattern.h"
#include "device/qmt3308.h"

namespace qmt::cmd {
namespace {

// A text run ready to draw: code page 932 bytes, n characters, cells of
// w x h pixels, placed with its top left at `at`.
struct TextRun {
  std::string_view text;
  int characters = 0;
  int cellWidth = 0;
  int cellHeight = 0;
  Point at;
  std::uint8_t colour = 0;
};

// Puts a text run onto the drawing page (and reports it to the view when the
// page is on show).
void DrawRun(TQMT3308& device, const TextRun& run) {
  // Kept between commands so that a run of cached glyphs allocates nothing;
  // one for each thread that draws.
  thread_local TextMask mask;
  SharedGlyphEngine().Render(run.text, run.cellWidth * run.characters, run.cellHeight, mask);
  const DrawingState& state = device.State();
  const ChangedArea area = DrawTextBox(device.DrawingPageBytes(), run.at.x, run.at.y, mask, run.colour,
                                       state.reverse != 0, state.overlay != 0);
  if (!area.Empty()) device.NotifyAreaChanged(area.x0, area.y0, area.x1, area.y1);
}

// Puts an s x s pattern at the graphic point.
void DrawPatternAt(TQMT3308& device, std::string_view bits, int size, std::uint8_t colour) {
  const Point at = device.GraphicPoint();
  const ChangedArea area = DrawPattern(device.DrawingPageBytes(), at.x, at.y, size,
                                       reinterpret_cast<const std::uint8_t*>(bits.data()), colour);
  if (!area.Empty()) device.NotifyAreaChanged(area.x0, area.y0, area.x1, area.y1);
}

std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// The quoted text of a text command, its colour and its length in
// characters; JIS hexadecimal is turned into Shift-JIS first.
struct QuotedText {
  std::uint8_t colour;
  std::string_view quoted;  // as written on the line
  std::string sjis;         // the converted JIS text
  bool jis;
  int count;
  std::string_view Text() const { return jis ? std::string_view(sjis) : quoted; }
};

QuotedText ReadQuotedText(TQMT3308& d, LineReader& r, bool jis) {
  QuotedText q{d.Colour(), {}, {}, jis, 0};
  q.quoted = r.Quoted(&q.colour);
  if (jis) q.sjis = JisHexToShiftJis(q.quoted);
  q.count = jis ? static_cast<int>(q.quoted.size() / 4) : CountCp932Chars(q.quoted);
  return q;
}

// quoted text at a text cursor; the column moves on by the characters drawn.
void CursorText(TQMT3308& d, LineReader& r, TextCursor which, int w, int h, bool jis) {
  const QuotedText q = ReadQuotedText(d, r, jis);
  Point& cursor = d.MutableState().Cursor(which);
  DrawRun(d, TextRun{q.Text(), q.count, w, h,
                     Point{Wrap(std::int64_t{cursor.x} * w), Wrap(std::int64_t{cursor.y} * h)}, q.colour});
  cursor.x = Wrap(std::int64_t{cursor.x} + q.count);
}

// quoted text at the graphic point; x moves on by the advance per character.
void PointText(TQMT3308& d, LineReader& r, int w, int h, bool jis) {
  const QuotedText q = ReadQuotedText(d, r, jis);
  Point& point = d.MutableState().graphicPoint;
  DrawRun(d, TextRun{q.Text(), q.count, w, h, point, q.colour});
  point.x = Wrap(std::int64_t{point.x} + std::int64_t{d.Advance()} * q.count);
}

// pattern -> s*s/8 raw bytes [',' letter] end
void Pattern(TQMT3308& d, LineReader& r, int size) {
  std::string_view bits = r.Raw(static_cast<std::size_t>(size) * size / 8);
  std::uint8_t colour = r.ColourSuffix(d.Colour());
  r.End();
  DrawPatternAt(d, bits, size, colour);
  Point& point = d.MutableState().graphicPoint;
  point.x = Wrap(std::int64_t{point.x} + d.Advance());
}

}  // namespace

void CW(TQMT3308& d, LineReader& r) { CursorText(d, r, TextCursor::k8x8, 8, 8, false); }
void HW(TQMT3308& d, LineReader& r) { CursorText(d, r, TextCursor::k8x16, 8, 16, false); }
void KW(TQMT3308& d, LineReader& r) { CursorText(d, r, TextCursor::k16x16, 16, 16, true); }
void OW(TQMT3308& d, LineReader& r) { CursorText(d, r, TextCursor::k32x32, 32, 32, true); }
void GC(TQMT3308& d, LineReader& r) { PointText(d, r, 8, 8, false); }
void GH(TQMT3308& d, LineReader& r) { PointText(d, r, 8, 16, false); }
void GK(TQMT3308& d, LineReader& r) { PointText(d, r, 16, 16, true); }
void DK(TQMT3308& d, LineReader& r) { PointText(d, r, 32, 32, true); }
void GI(TQMT3308& d, LineReader& r) { Pattern(d, r, 16); }
void DI(TQMT3308& d, LineReader& r) { Pattern(d, r, 32); }

}  // namespace qmt::cmd
