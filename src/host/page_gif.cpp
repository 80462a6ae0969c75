// Animations as GIF files through giflib.
#include "host/page_animation.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "device/colour.h"
#include "support/file_io.h"

namespace qmt {

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
