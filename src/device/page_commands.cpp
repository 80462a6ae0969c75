// Pages and the image store: DS PS ER HH FE FS TI TF BV.
#include <cstring>

#include "device/commands.h"
#include "device/line_reader.h"
#include "device/qmt3308.h"

namespace qmt::cmd {
namespace {

void Home(DrawingState& s) {
  s.graphicPoint = {};
  s.cursors = {};
}

// TF and BV: n ',' n NUL, each 0-3.  The checks run in the order comma,
// first value, end, second value.
void ReadPagePair(LineReader& r, int& first, int& second) {
  std::int32_t a = r.Number();
  if (r.Separator() != ',') msg::Fail(msg::NoComma());
  if (a < 0 || a > 3) msg::Fail(msg::NotPage());
  std::int32_t b = r.Number();
  if (r.Separator() != 0) msg::Fail(msg::ExtraCharsPage());
  if (b < 0 || b > 3) msg::Fail(msg::NotPage());
  first = a;
  second = b;
}

}  // namespace

// DS n
void DS(TQMT3308& d, LineReader& r) {
  d.MutableState().displayPage = static_cast<std::uint8_t>(r.Bounded(3, true));
  if (d.GetWindowSurface() != nullptr) d.GetWindowSurface()->PageChanged();
}

// PS n
void PS(TQMT3308& d, LineReader& r) { d.MutableState().drawingPage = static_cast<std::uint8_t>(r.Bounded(3, true)); }

// ER (anything may follow)
void ER(TQMT3308& d, LineReader&) {
  std::memset(d.DrawingPageBytes(), 0x00, kPageBytes);
  if (d.Mirrors()) d.GetWindowSurface()->PageChanged();
  Home(d.MutableState());
}

// HH (anything may follow)
void HH(TQMT3308& d, LineReader&) { Home(d.MutableState()); }

// FE end
void FE(TQMT3308& d, LineReader& r) {
  r.End();
  for (int n = 0; n < 4; ++n) std::memset(d.StorePage(n), 0x00, kPageBytes);
}

// FS n
void FS(TQMT3308& d, LineReader& r) { d.MutableState().storePage = static_cast<std::uint8_t>(r.Bounded(3, true)); }

// TI {hex hex} x 307,200 end.  Bytes before a bad pair stay written.
void TI(TQMT3308& d, LineReader& r) {
  std::uint8_t* out = d.StorePage(d.StorePageIndex());
  std::string_view line = r.Line();
  std::size_t pos = r.Position();
  // Pairs that the line holds in full; the rest ends early.
  std::size_t available = (line.size() - pos) / 2;
  std::size_t whole = available < static_cast<std::size_t>(kPageBytes) ? available : kPageBytes;
  const auto* p = reinterpret_cast<const unsigned char*>(line.data()) + pos;
  for (std::size_t k = 0; k < whole; ++k) {
    int hi = LineReader::HexDigit(p[2 * k]);
    int lo = LineReader::HexDigit(p[2 * k + 1]);
    if ((hi | lo) < 0) msg::Fail(msg::HexIncomplete());
    out[k] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  if (whole < static_cast<std::size_t>(kPageBytes)) msg::Fail(msg::HexIncomplete());
  r.Skip(2 * whole);
  if (!LineReader::IsEnd(r.At(r.Position()))) msg::Fail(msg::ExtraChars());
}

// TF s,v: store page s to video page v.
void TF(TQMT3308& d, LineReader& r) {
  int s = 0, v = 0;
  ReadPagePair(r, s, v);
  std::memcpy(d.Page(v), d.StorePage(s), kPageBytes);
  d.NotifyPageChanged(v);
}

// BV v,s: video page v to store page s.
void BV(TQMT3308& d, LineReader& r) {
  int v = 0, s = 0;
  ReadPagePair(r, v, s);
  std::memcpy(d.StorePage(s), d.Page(v), kPageBytes);
}

}  // namespace qmt::cmd
