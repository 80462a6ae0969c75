#include "host/page_animation.h"

#include <gif_lib.h>

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

namespace {

int WriteToString(GifFileType* gif, const GifByteType* bytes, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  return length;
}

[[noreturn]] void GifFail(int code) {
  const char* why = GifErrorString(code);
  throw FileError(std::string("cannot encode GIF: ") + (why ? why : "giflib error"), "", FileError::Op::Encode);
}

void PutDelay(GifFileType* gif, int hundredths) {
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.DelayTime = std::clamp(hundredths, 0, 65535);
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType ext[4];
  EGifGCBToExtension(&gcb, ext);
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_ERROR) GifFail(gif->Error);
}

void PutImage(GifFileType* gif, int x, int y, int width, int height, const std::uint8_t* pixels, int stride) {
  if (EGifPutImageDesc(gif, x, y, width, height, false, nullptr) == GIF_ERROR) GifFail(gif->Error);
  std::vector<GifPixelType> row(static_cast<std::size_t>(width));
  for (int r = 0; r < height; ++r) {
    std::memcpy(row.data(), pixels + static_cast<std::size_t>(r) * stride, static_cast<std::size_t>(width));
    if (EGifPutLine(gif, row.data(), width) == GIF_ERROR) GifFail(gif->Error);
  }
}

}  // namespace

std::string PageAnimation::EncodeGif() const {
  if (!started_) throw FileError("cannot encode GIF: no frames", "", FileError::Op::Encode);
  std::vector<std::uint64_t> times{startMs_};
  for (const Frame& f : frames_) times.push_back(f.ms);
  // Each frame lasts until the next; the last one at least one tick.
  std::vector<int> delays = Delays(times, std::max(endMs_, times.back() + kLastFrameMs));

  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToString, &error);
  if (!gif) GifFail(error);
  struct Closer {
    GifFileType* gif;
    ~Closer() {
      if (gif) EGifCloseFile(gif, nullptr);
    }
  } closer{gif};

  GifColorType colours[256];
  for (int c = 0; c < 256; ++c) {
    const Rgb rgb = ColourToRGB(static_cast<std::uint8_t>(c));
    colours[c] = {rgb.r, rgb.g, rgb.b};
  }
  ColorMapObject* map = GifMakeMapObject(256, colours);
  if (!map) GifFail(E_GIF_ERR_NOT_ENOUGH_MEM);
  EGifSetGifVersion(gif, true);
  const int put = EGifPutScreenDesc(gif, kPageWidth, kPageHeight, 8, 0, map);
  GifFreeMapObject(map);
  if (put == GIF_ERROR) GifFail(gif->Error);
  // Loop for ever.
  static const GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoop[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif, sizeof kNetscape, kNetscape) == GIF_ERROR ||
      EGifPutExtensionBlock(gif, sizeof kLoop, kLoop) == GIF_ERROR || EGifPutExtensionTrailer(gif) == GIF_ERROR)
    GifFail(gif->Error);

  PutDelay(gif, delays[0]);
  PutImage(gif, 0, 0, kPageWidth, kPageHeight, first_.data(), kPageWidth);
  // Each frame is the rectangle around its changes, cut from the page as
  // it is after them.
  std::vector<std::uint8_t> page = first_;
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    const Frame& f = frames_[i];
    Apply(f, page);
    PutDelay(gif, delays[i + 1]);
    PutImage(gif, f.x, f.y, f.width, f.height, page.data() + static_cast<std::size_t>(f.y) * kPageWidth + f.x,
             kPageWidth);
  }
  closer.gif = nullptr;
  if (EGifCloseFile(gif, &error) == GIF_ERROR) GifFail(error);
  return out;
}

void WriteAnimationGif(const std::string& path, const PageAnimation& animation) {
  WriteFileAtomic(path, animation.EncodeGif());
}

}  // namespace qmt
