// The device's receiving side of a byte stream: bytes in, command lines out.
// A line ends at a carriage return; line feeds are ignored.  A line that
// starts with GI or DI carries 32 or 128 raw pattern bytes straight after its
// mnemonic, and those are taken as data whatever their values (13, 10 and 0
// included) before the carriage return is looked for.  A line longer than the
// device's line buffer is dropped whole, so memory stays bounded whatever
// arrives.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qmt {

class LineAssembler {
 public:
  // The device's line buffer: the longest command line, TI with its 307,200
  // pairs of hexadecimal digits after the mnemonic.
  static constexpr std::size_t kMaxLineBytes = 2 + 2 * 640 * 480;

  // A finished line, without its carriage return.  The view lives until the
  // handler returns.
  using LineHandler = std::function<void(std::string_view line)>;
  // A line that outgrew the buffer has ended; `bytes` is how many bytes it
  // had before its carriage return.
  using DropHandler = std::function<void(std::size_t bytes)>;

  // A limit below 2 + 128 (a DI line's mnemonic and data) is raised to it.
  explicit LineAssembler(std::size_t maxLineBytes = kMaxLineBytes)
      : max_(maxLineBytes < 130 ? 130 : maxLineBytes) {}

  void SetLineHandler(LineHandler handler) { line_ = std::move(handler); }
  void SetDropHandler(DropHandler handler) { drop_ = std::move(handler); }

  // Takes the next bytes of the stream; finished lines go to the handlers
  // before it returns.
  void Feed(std::string_view bytes);

  // Forgets the line begun so far (its sender has gone) and returns how many
  // bytes of it there were, those of a line being dropped included.
  std::size_t Discard();

  // Bytes of the line begun so far (0 while a line is being dropped).
  std::size_t Pending() const { return pending_.size(); }
  bool Dropping() const { return dropping_; }
  std::size_t MaxLineBytes() const { return max_; }

  // Raw bytes that follow the mnemonic of a pattern line: 32 for GI, 128 for
  // DI, 0 for any other start.
  static std::size_t PatternBytes(char first, char second);

 private:
  // The general path, one byte at a time; returns where it stopped (at a
  // line start, or at the end).
  const char* FeedSlow(const char* p, const char* end);
  void Append(char c);
  void Finish();

  std::size_t max_;
  std::string pending_;
  std::size_t dataLeft_ = 0;   // raw pattern bytes still to come
  bool dropping_ = false;
  std::size_t dropped_ = 0;    // length of the line being dropped
  LineHandler line_;
  DropHandler drop_;
};

}  // namespace qmt
