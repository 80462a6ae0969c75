// An animation of the display page: the frames in which it changed, each
// with its time, written as an animated GIF in the device's 256 colours.
// Frames keep only what changed in each row, so a minute of a running panel
// takes little memory; a window may also keep only the last seconds.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace qmt {

class PageAnimation {
 public:
  static constexpr std::uint64_t kLastFrameMs = 33;

  // Starts over with `page` (640 x 480 colour bytes) shown from `ms`.
  void Start(const std::uint8_t* page, std::uint64_t ms);
  // The page at `ms` (not before the last frame): a frame when it changed.
  // Returns whether it did.
  bool Add(const std::uint8_t* page, std::uint64_t ms);
  // The animation ends at `ms`: the last frame is shown until then.
  void End(std::uint64_t ms) { endMs_ = ms; }
  // Forgets what was shown before `ms`: the first frame becomes the page
  // as it was then.
  void DropBefore(std::uint64_t ms);

  bool Started() const { return started_; }
  std::size_t FrameCount() const { return started_ ? frames_.size() + 1 : 0; }
  std::uint64_t StartMs() const { return startMs_; }
  std::uint64_t EndMs() const { return endMs_; }
  // Memory the frames after the first hold.
  std::size_t FrameBytes() const { return frameBytes_; }
  // Forgets the oldest frames until at most `bytes` are held.
  void DropOldestBeyond(std::size_t bytes);

  // The animation as a GIF that loops: the device's palette, one image per
  // frame (the changed rectangle), delays in hundredths rounded so that the
  // times add up.  The last frame lasts until the end, and at least one
  // timer tick.  Raises FileError when giflib fails.
  std::string EncodeGif() const;

  // The delays in hundredths of a second for frames shown from `times` (ms,
  // ascending) until `end`: each ends at its rounded end time, so that the
  // rounding errors do not add up.
  static std::vector<int> Delays(const std::vector<std::uint64_t>& times, std::uint64_t end);

 private:
  // The changed part of each changed row, and the rectangle around them.
  struct Span {
    int y, x, width;
    std::size_t offset;  // into pixels
  };
  struct Frame {
    std::uint64_t ms = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<Span> spans;
    std::vector<std::uint8_t> pixels;
  };
  static void Apply(const Frame& frame, std::vector<std::uint8_t>& page);
  // Folds `later`, a change at the same time, into `into`; `page` is the
  // page after both.
  void Merge(Frame& into, const Frame& later, const std::uint8_t* page);

  bool started_ = false;
  std::uint64_t startMs_ = 0;
  std::uint64_t endMs_ = 0;
  std::vector<std::uint8_t> first_;    // the page at startMs_
  std::vector<std::uint8_t> current_;  // the page after the last frame
  std::deque<Frame> frames_;
  std::size_t frameBytes_ = 0;
};

// Writes the animation as a GIF file (temporary file and rename).  Raises
// FileError naming the file.
void WriteAnimationGif(const std::string& path, const PageAnimation& animation);

}  // namespace qmt
