// The program's own resource stream: the compact binary form in which
// components store their properties (string lists, for now) and in which the
// text tables are embedded in the binary.
//
// Layout, byte by byte:
//   list start   0x0E
//   string       0x06, length as an unsigned LEB128 number, the bytes
//   list end     0x00
// Strings are byte strings (code page 932 text, any byte allowed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qmt {

// A stream that does not follow the layout above, or an operation the
// stream cannot carry out.  The message says what was expected and where.
class ResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ResourceWriter {
 public:
  void WriteListBegin();
  void WriteString(std::string_view s);
  void WriteListEnd();

  const std::string& Bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class ResourceReader {
 public:
  explicit ResourceReader(std::string_view bytes) : bytes_(bytes) {}

  void ReadListBegin();
  // True when the next item is the list end (does not consume it).
  bool EndOfList() const;
  std::string ReadString();
  void ReadListEnd();

  bool AtEnd() const { return pos_ >= bytes_.size(); }
  std::size_t Position() const { return pos_; }

 private:
  std::uint8_t Expect(std::uint8_t tag, const char* what);

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace qmt
