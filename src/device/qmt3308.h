// The emulated QMT3308: four video pages, the image store and the drawing
// state, driven one command line at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "device/colour.h"
#include "device/device_error.h"
#include "device/window_surface.h"

namespace qmt {

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend constexpr bool operator==(const Point&, const Point&) = default;
};

// The four text cursors, in the order their cell sizes grow.
enum class TextCursor { k8x8 = 0, k8x16 = 1, k16x16 = 2, k32x32 = 3 };

// Everything the command lines read and change apart from the pixels.
struct DrawingState {
  std::uint8_t drawingPage = 0;
  std::uint8_t displayPage = 0;
  std::uint8_t storePage = 0;
  Point graphicPoint;
  std::array<Point, 4> cursors{};  // indexed by TextCursor; x = column, y = row
  std::int32_t advance = 16;
  std::uint8_t colour = 0xFF;
  std::uint8_t reverse = 0;
  std::uint8_t overlay = 0;

  Point& Cursor(TextCursor c) { return cursors[static_cast<int>(c)]; }
  const Point& Cursor(TextCursor c) const { return cursors[static_cast<int>(c)]; }
};

class TQMT3308 {
 public:
  TQMT3308();
  ~TQMT3308();
  TQMT3308(const TQMT3308&) = delete;
  TQMT3308& operator=(const TQMT3308&) = delete;

  // Runs one command line (raw bytes; parsing stops at the first NUL, CR or
  // LF).  False when the line failed; the message is then in LastError().
  bool ExecuteLine(std::string_view line);
  const std::string& LastError() const { return lastError_; }

  // The view that mirrors the display page; may be null.  Not owned.
  void SetWindowSurface(WindowSurface* surface) { surface_ = surface; }
  WindowSurface* GetWindowSurface() const { return surface_; }

  // Video pages 0-3: 640 x 480 bytes, row-major, top row first.  The page
  // number is taken modulo 4 (callers pass 0-3).
  std::uint8_t* Page(int n) { return pages_.get() + PageOffset(n); }
  const std::uint8_t* Page(int n) const { return pages_.get() + PageOffset(n); }
  // Image store pages 0-3, same layout.
  std::uint8_t* StorePage(int n) { return store_.get() + PageOffset(n); }
  const std::uint8_t* StorePage(int n) const { return store_.get() + PageOffset(n); }

  int DisplayPage() const { return state_.displayPage; }
  int DrawingPage() const { return state_.drawingPage; }
  int StorePageIndex() const { return state_.storePage; }
  const std::uint8_t* DisplayPageBytes() const { return Page(state_.displayPage); }
  const std::uint8_t* DisplayPageBitmap() const { return DisplayPageBytes(); }  // what the view paints
  std::uint8_t* DisplayPageBytes() { return Page(state_.displayPage); }
  std::uint8_t* DrawingPageBytes() { return Page(state_.drawingPage); }
  const std::uint8_t* DrawingPageBytes() const { return Page(state_.drawingPage); }

  // The drawing state.  State() is for reading; MutableState() is for the
  // command handlers (text and pattern drawing moves cursors and the point).
  const DrawingState& State() const { return state_; }
  DrawingState& MutableState() { return state_; }
  Point GraphicPoint() const { return state_.graphicPoint; }
  Point Cursor(TextCursor c) const { return state_.Cursor(c); }
  std::int32_t Advance() const { return state_.advance; }
  std::uint8_t Colour() const { return state_.colour; }
  bool Reverse() const { return state_.reverse != 0; }
  bool Overlay() const { return state_.overlay != 0; }

  // True when drawing on the drawing page must also reach the attached view.
  bool Mirrors() const { return surface_ != nullptr && state_.drawingPage == state_.displayPage; }
  // Tells the view that the inclusive rectangle changed on the drawing page,
  // when the mirror rule applies.  The rectangle is clipped to the page; an
  // empty intersection reports nothing.  Corners may come in any order.
  void NotifyAreaChanged(int x0, int y0, int x1, int y1);
  // Tells the view that page `page` must be shown again, if it is on show.
  void NotifyPageChanged(int page);

  // Page files (the 308,278-byte bitmap).  Raise FileError naming the file;
  // a failed load leaves the page unchanged, a failed save leaves no
  // half-written file.  Loading does not repaint the view.
  void SavePage(int page, const std::string& file) const;
  void LoadPage(int page, const std::string& file);

 private:
  static std::size_t PageOffset(int n) { return static_cast<std::size_t>(n & 3) * kPageBytes; }

  std::unique_ptr<std::uint8_t[]> pages_;  // four video pages
  std::unique_ptr<std::uint8_t[]> store_;  // four image store pages
  DrawingState state_;
  WindowSurface* surface_ = nullptr;
  std::string lastError_;
};

// The process-wide device, created on first use.
TQMT3308& Device();

}  // namespace qmt
