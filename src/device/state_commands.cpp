// Colour, text modes and the text cursors.
#include "device/commands.h"
#include "device/line_reader.h"
#include "device/qmt3308.h"

namespace qmt::cmd {
namespace {

// Column and row limits of the four cursors, in TextCursor order.
struct CursorLimits {
  std::int32_t columns, rows;
};
constexpr CursorLimits kLimits[4] = {{79, 59}, {79, 29}, {39, 29}, {19, 14}};

// col ',' row end-sep.  The column is stored before the row is read.
void Position(TQMT3308& d, LineReader& r, TextCursor which) {
  const CursorLimits& lim = kLimits[static_cast<int>(which)];
  Point& cursor = d.MutableState().Cursor(which);
  cursor.x = r.Bounded(lim.columns);
  cursor.y = r.Bounded(lim.rows, true);
}

// end; row := (row + 1) mod rows
void NextRow(TQMT3308& d, LineReader& r, TextCursor which) {
  r.End();
  const std::int32_t rows = kLimits[static_cast<int>(which)].rows + 1;
  Point& cursor = d.MutableState().Cursor(which);
  cursor.y = ((cursor.y + 1) % rows + rows) % rows;
}

}  // namespace

// CS hex hex end
void CS(TQMT3308& d, LineReader& r) {
  auto c = static_cast<std::uint8_t>(r.Hex(2));
  r.End();
  d.MutableState().colour = c;
}

// CH digit end
void CH(TQMT3308& d, LineReader& r) {
  std::uint8_t c = SixteenColour(r.Character());
  r.End();
  d.MutableState().colour = c;
}

// CL letter end
void CL(TQMT3308& d, LineReader& r) {
  std::uint8_t c = SevenColour(r.Character());
  r.End();
  d.MutableState().colour = c;
}

void MS(TQMT3308& d, LineReader&) { d.MutableState().overlay = 1; }
void MC(TQMT3308& d, LineReader&) { d.MutableState().overlay = 0; }
void RV(TQMT3308& d, LineReader&) { d.MutableState().reverse = static_cast<std::uint8_t>(1 - d.MutableState().reverse); }
void RC(TQMT3308& d, LineReader&) { d.MutableState().reverse = 0; }
void RR(TQMT3308&, LineReader&) {}

// SP n end-sep
void SP(TQMT3308& d, LineReader& r) { d.MutableState().advance = r.Bounded(640, true); }

void CP(TQMT3308& d, LineReader& r) { Position(d, r, TextCursor::k8x8); }
void HP(TQMT3308& d, LineReader& r) { Position(d, r, TextCursor::k8x16); }
void KP(TQMT3308& d, LineReader& r) { Position(d, r, TextCursor::k16x16); }
void OP(TQMT3308& d, LineReader& r) { Position(d, r, TextCursor::k32x32); }

void CF(TQMT3308& d, LineReader& r) { NextRow(d, r, TextCursor::k8x8); }
void HF(TQMT3308& d, LineReader& r) { NextRow(d, r, TextCursor::k8x16); }
void KF(TQMT3308& d, LineReader& r) { NextRow(d, r, TextCursor::k16x16); }
void OF(TQMT3308& d, LineReader& r) { NextRow(d, r, TextCursor::k32x32); }

void CR(TQMT3308& d, LineReader&) { d.MutableState().Cursor(TextCursor::k8x8).x = 0; }
void HR(TQMT3308& d, LineReader&) { d.MutableState().Cursor(TextCursor::k8x16).x = 0; }
void KR(TQMT3308& d, LineReader&) { d.MutableState().Cursor(TextCursor::k16x16).x = 0; }
void OR(TQMT3308& d, LineReader&) { d.MutableState().Cursor(TextCursor::k32x32).x = 0; }

}  // namespace qmt::cmd
