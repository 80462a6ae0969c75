#include "protocol/message_reader.h"

#include <cctype>

namespace qmt::protocol {
namespace {

constexpr std::string_view kLengthField = "content-length:";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string Frame(std::string_view body) {
  std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out.append(body);
  return out;
}

void MessageReader::Resync() {
  // The next "Content-Length:" (a body may end right before it), or keep a
  // tail that may still become one.
  for (std::size_t i = 1; i + kLengthField.size() <= buffer_.size(); ++i) {
    if (StartsWithIgnoringCase(std::string_view(buffer_).substr(i), kLengthField)) {
      buffer_.erase(0, i);
      return;
    }
  }
  // Keep the longest tail that may still grow into the field's name.
  for (std::size_t k = std::min(buffer_.size(), kLengthField.size() - 1); k > 0; --k) {
    if (StartsWithIgnoringCase(std::string_view(buffer_).substr(buffer_.size() - k), kLengthField.substr(0, k))) {
      buffer_.erase(0, buffer_.size() - k);
      return;
    }
  }
  buffer_.clear();
}

MessageReader::Result MessageReader::Next(std::string& out) {
  for (;;) {
    if (inBody_) {
      if (buffer_.size() < bodyLength_) return Result::kNeedMore;
      out.assign(buffer_, 0, bodyLength_);
      buffer_.erase(0, bodyLength_);
      inBody_ = false;
      return Result::kMessage;
    }
    // Blank lines between messages are tolerated.
    std::size_t skip = 0;
    while (skip < buffer_.size() && (buffer_[skip] == '\r' || buffer_[skip] == '\n')) ++skip;
    buffer_.erase(0, skip);
    if (buffer_.empty()) return Result::kNeedMore;
    const std::size_t end = buffer_.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (buffer_.size() <= kMaxHeaderBytes) return Result::kNeedMore;
      out = "header longer than " + std::to_string(kMaxHeaderBytes) + " bytes without an empty line";
      Resync();
      return Result::kError;
    }
    if (end > kMaxHeaderBytes) {
      out = "header longer than " + std::to_string(kMaxHeaderBytes) + " bytes";
      buffer_.erase(0, end + 4);
      return Result::kError;
    }
    const std::string_view header = std::string_view(buffer_).substr(0, end);
    bool found = false;
    std::size_t length = 0;
    std::string problem;
    std::size_t start = 0;
    while (start <= header.size()) {
      std::size_t stop = header.find("\r\n", start);
      if (stop == std::string_view::npos) stop = header.size();
      const std::string_view line = header.substr(start, stop - start);
      start = stop + 2;
      if (!StartsWithIgnoringCase(line, kLengthField)) {
        if (line.find(':') == std::string_view::npos && problem.empty())
          problem = "header line without a colon";
        continue;
      }
      const std::string_view value = TrimBlanks(line.substr(kLengthField.size()));
      std::size_t n = 0;
      // Any run of digits is a number; past the limit it stops growing.
      bool ok = !value.empty();
      for (char c : value) {
        if (c < '0' || c > '9') ok = false;
        else if (n <= kMaxBodyBytes) n = n * 10 + static_cast<std::size_t>(c - '0');
      }
      if (!ok) {
        problem = "Content-Length is not a number: '" + std::string(value.substr(0, 40)) + "'";
      } else if (n > kMaxBodyBytes) {
        problem = "Content-Length " + std::string(value.substr(0, 40)) + " is over the limit of " + std::to_string(kMaxBodyBytes);
      } else if (found && n != length) {
        problem = "two different Content-Length fields";
      }
      found = true;
      length = n;
    }
    if (!found && problem.empty()) problem = "header without Content-Length";
    if (!problem.empty()) {
      out = problem;
      buffer_.erase(0, end + 4);
      // A body that may follow is not a header: skip to the next one.
      if (!buffer_.empty() && !StartsWithIgnoringCase(buffer_, kLengthField)) Resync();
      return Result::kError;
    }
    buffer_.erase(0, end + 4);
    bodyLength_ = length;
    inBody_ = true;
  }
}

}  // namespace qmt::protocol
