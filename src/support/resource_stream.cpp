#include "support/resource_stream.h"

namespace qmt {

namespace {

constexpr std::uint8_t kListBegin = 0x0E;
constexpr std::uint8_t kString = 0x06;
constexpr std::uint8_t kListEnd = 0x00;

std::string At(std::size_t pos) { return " at byte " + std::to_string(pos); }

}  // namespace

void ResourceWriter::WriteListBegin() { bytes_.push_back(static_cast<char>(kListBegin)); }

void ResourceWriter::WriteString(std::string_view s) {
  bytes_.push_back(static_cast<char>(kString));
  std::uint64_t n = s.size();
  do {
    std::uint8_t b = n & 0x7F;
    n >>= 7;
    if (n != 0) b |= 0x80;
    bytes_.push_back(static_cast<char>(b));
  } while (n != 0);
  bytes_.append(s);
}

void ResourceWriter::WriteListEnd() { bytes_.push_back(static_cast<char>(kListEnd)); }

std::uint8_t ResourceReader::Expect(std::uint8_t tag, const char* what) {
  if (pos_ >= bytes_.size())
    throw ResourceError(std::string("resource stream ends where ") + what + " was expected" + At(pos_));
  auto b = static_cast<std::uint8_t>(bytes_[pos_]);
  if (b != tag)
    throw ResourceError(std::string("resource stream has tag ") + std::to_string(b) + " where " + what +
                        " was expected" + At(pos_));
  ++pos_;
  return b;
}

void ResourceReader::ReadListBegin() { Expect(kListBegin, "a list start"); }

bool ResourceReader::EndOfList() const {
  return pos_ < bytes_.size() && static_cast<std::uint8_t>(bytes_[pos_]) == kListEnd;
}

std::string ResourceReader::ReadString() {
  std::size_t start = pos_;
  Expect(kString, "a string");
  std::uint64_t n = 0;
  for (int shift = 0;; shift += 7) {
    if (pos_ >= bytes_.size()) throw ResourceError("resource stream ends inside a string length" + At(start));
    if (shift > 56) throw ResourceError("resource stream has an oversized string length" + At(start));
    auto b = static_cast<std::uint8_t>(bytes_[pos_++]);
    n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) break;
  }
  if (n > bytes_.size() - pos_)
    throw ResourceError("resource stream string of " + std::to_string(n) + " bytes runs past the end" + At(start));
  std::string s(bytes_.substr(pos_, static_cast<std::size_t>(n)));
  pos_ += static_cast<std::size_t>(n);
  return s;
}

void ResourceReader::ReadListEnd() { Expect(kListEnd, "a list end"); }

}  // namespace qmt
