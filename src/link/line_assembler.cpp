#include "link/line_assembler.h"

#include <algorithm>
#include <cstring>

namespace qmt {

std::size_t LineAssembler::PatternBytes(char first, char second) {
  if (second != 'I') return 0;
  if (first == 'G') return 32;
  if (first == 'D') return 128;
  return 0;
}

void LineAssembler::Feed(std::string_view bytes) {
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while (p < end) {
    if (!dropping_ && pending_.empty()) {
      // Most lines arrive whole inside one read: hand them on where they lie
      // when nothing in them needs the byte-by-byte path (a line feed to
      // leave out, pattern data, a line too long).
      const void* found = std::memchr(p, '\r', static_cast<std::size_t>(end - p));
      if (found != nullptr) {
        const char* cr = static_cast<const char*>(found);
        std::size_t n = static_cast<std::size_t>(cr - p);
        if (n <= max_ && (n < 2 || PatternBytes(p[0], p[1]) == 0) && std::memchr(p, '\n', n) == nullptr) {
          if (line_) line_(std::string_view(p, n));
          p = cr + 1;
          continue;
        }
      }
    }
    p = FeedSlow(p, end);
  }
}

const char* LineAssembler::FeedSlow(const char* p, const char* end) {
  while (p < end) {
    if (dropping_) {
      const void* found = std::memchr(p, '\r', static_cast<std::size_t>(end - p));
      if (found == nullptr) {
        dropped_ += static_cast<std::size_t>(end - p);
        return end;
      }
      const char* cr = static_cast<const char*>(found);
      std::size_t n = dropped_ + static_cast<std::size_t>(cr - p);
      dropping_ = false;
      dropped_ = 0;
      if (drop_) drop_(n);
      return cr + 1;
    }
    if (dataLeft_ > 0) {
      // Pattern data: every byte counts, whatever it is.
      std::size_t take = std::min(dataLeft_, static_cast<std::size_t>(end - p));
      pending_.append(p, take);
      dataLeft_ -= take;
      p += take;
      continue;
    }
    char c = *p;
    if (c == '\r') {
      Finish();
      return p + 1;
    }
    if (c == '\n') {
      ++p;
      continue;
    }
    if (pending_.size() < 2) {
      Append(c);
      ++p;
      if (pending_.size() == 2) dataLeft_ = PatternBytes(pending_[0], pending_[1]);
      continue;
    }
    // The rest of an ordinary line, up to the next CR or LF, in one piece.
    const char* stop = p;
    while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
    std::size_t n = static_cast<std::size_t>(stop - p);
    if (pending_.size() + n > max_) {
      dropping_ = true;
      dropped_ = pending_.size() + n;
      pending_.clear();
      pending_.shrink_to_fit();
    } else {
      pending_.append(p, n);
    }
    p = stop;
  }
  return end;
}

void LineAssembler::Append(char c) {
  if (pending_.size() >= max_) {
    dropping_ = true;
    dropped_ = pending_.size() + 1;
    pending_.clear();
    dataLeft_ = 0;
    return;
  }
  pending_.push_back(c);
}

void LineAssembler::Finish() {
  dataLeft_ = 0;
  if (line_) line_(pending_);
  pending_.clear();
  // A long line (TI) leaves a large buffer; ordinary lines need little.
  if (pending_.capacity() > 4096) pending_.shrink_to_fit();
}

std::size_t LineAssembler::Discard() {
  std::size_t n = dropping_ ? dropped_ : pending_.size();
  pending_.clear();
  pending_.shrink_to_fit();
  dataLeft_ = 0;
  dropping_ = false;
  dropped_ = 0;
  return n;
}

}  // namespace qmt
