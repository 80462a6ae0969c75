#include "host/page_animation.h"

#include <algorithm>
#include <cstring>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

void PageAnimation::Start(const std::uint8_t* page, std::uint64_t ms) {
  started_ = true;
  startMs_ = endMs_ = ms;
  first_.assign(page, page + kPageBytes);
  current_ = first_;
  frames_.clear();
  frameBytes_ = 0;
}

bool PageAnimation::Add(const std::uint8_t* page, std::uint64_t ms) {
  if (!started_) {
    Start(page, ms);
    return true;
  }
  endMs_ = std::max(endMs_, ms);
  Frame f;
  int x0 = kPageWidth, y0 = kPageHeight, x1 = -1, y1 = -1;
  for (int y = 0; y < kPageHeight; ++y) {
    const std::uint8_t* a = page + static_cast<std::size_t>(y) * kPageWidth;
    const std::uint8_t* b = current_.data() + static_cast<std::size_t>(y) * kPageWidth;
    if (std::memcmp(a, b, kPageWidth) == 0) continue;
    int left = 0, right = kPageWidth - 1;
    while (a[left] == b[left]) ++left;
    while (a[right] == b[right]) --right;
    f.spans.push_back({y, left, right - left + 1, f.pixels.size()});
    f.pixels.insert(f.pixels.end(), a + left, a + right + 1);
    x0 = std::min(x0, left);
    x1 = std::max(x1, right);
    y0 = std::min(y0, y);
    y1 = y;
  }
  if (x1 < 0) return false;
  f.ms = std::max(ms, frames_.empty() ? startMs_ : frames_.back().ms);
  // A change at the time of the frame before is part of that frame: a
  // frame shown for no time would be shown for a tenth of a second by most
  // viewers (a GIF delay of 0).
  if (frames_.empty() && f.ms == startMs_) {
    Apply(f, first_);
    Apply(f, current_);
    return true;
  }
  if (!frames_.empty() && f.ms == frames_.back().ms) {
    Merge(frames_.back(), f, page);
    return true;
  }
  f.x = x0;
  f.y = y0;
  f.width = x1 - x0 + 1;
  f.height = y1 - y0 + 1;
  f.pixels.shrink_to_fit();
  Apply(f, current_);
  frameBytes_ += f.pixels.size() + f.spans.size() * sizeof(Span);
  frames_.push_back(std::move(f));
  return true;
}

void PageAnimation::Merge(Frame& into, const Frame& later, const std::uint8_t* page) {
  // Row by row, the span that covers both frames' changes, from the page
  // as it is after the later one.
  Frame m;
  m.ms = into.ms;
  std::size_t a = 0, b = 0;
  int x0 = kPageWidth, x1 = -1;
  while (a < into.spans.size() || b < later.spans.size()) {
    const int ya = a < into.spans.size() ? into.spans[a].y : kPageHeight;
    const int yb = b < later.spans.size() ? later.spans[b].y : kPageHeight;
    const int y = std::min(ya, yb);
    int left = kPageWidth, right = -1;
    if (ya == y) {
      left = into.spans[a].x;
      right = into.spans[a].x + into.spans[a].width - 1;
      ++a;
    }
    if (yb == y) {
      left = std::min(left, later.spans[b].x);
      right = std::max(right, later.spans[b].x + later.spans[b].width - 1);
      ++b;
    }
    const std::uint8_t* row = page + static_cast<std::size_t>(y) * kPageWidth;
    m.spans.push_back({y, left, right - left + 1, m.pixels.size()});
    m.pixels.insert(m.pixels.end(), row + left, row + right + 1);
    x0 = std::min(x0, left);
    x1 = std::max(x1, right);
  }
  m.x = x0;
  m.y = m.spans.front().y;
  m.width = x1 - x0 + 1;
  m.height = m.spans.back().y - m.y + 1;
  m.pixels.shrink_to_fit();
  Apply(m, current_);
  frameBytes_ -= into.pixels.size() + into.spans.size() * sizeof(Span);
  frameBytes_ += m.pixels.size() + m.spans.size() * sizeof(Span);
  into = std::move(m);
}

void PageAnimation::Apply(const Frame& f, std::vector<std::uint8_t>& page) {
  for (const Span& s : f.spans)
    std::memcpy(page.data() + static_cast<std::size_t>(s.y) * kPageWidth + s.x, &f.pixels[s.offset],
                static_cast<std::size_t>(s.width));
}

void PageAnimation::DropBefore(std::uint64_t ms) {
  if (!started_ || ms <= startMs_) return;
  while (!frames_.empty() && frames_.front().ms <= ms) {
    Apply(frames_.front(), first_);
    frameBytes_ -= frames_.front().pixels.size() + frames_.front().spans.size() * sizeof(Span);
    frames_.pop_front();
  }
  startMs_ = std::min(ms, endMs_);
}

void PageAnimation::DropOldestBeyond(std::size_t bytes) {
  while (frameBytes_ > bytes && !frames_.empty()) DropBefore(frames_.front().ms);
}

std::vector<int> PageAnimation::Delays(const std::vector<std::uint64_t>& times, std::uint64_t end) {
  std::vector<int> delays;
  if (times.empty()) return delays;
  auto hundredths = [&](std::uint64_t ms) { return static_cast<long long>((ms - times.front() + 5) / 10); };
  for (std::size_t i = 0; i < times.size(); ++i) {
    std::uint64_t until = i + 1 < times.size() ? times[i + 1] : std::max(end, times[i]);
    delays.push_back(static_cast<int>(hundredths(until) - hundredths(times[i])));
  }
  return delays;
}

}  // namespace qmt
