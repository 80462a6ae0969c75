// Whole-file reads and crash-safe writes.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace qmt {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a whole file as bytes.  Raises FileError naming the file and the
// reason (for example "cannot open x.txt: No such file or directory").
std::string ReadFile(const std::string& path);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failed write never leaves a half-written file behind and the
// old contents survive.  Raises FileError naming the file and the reason.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

}  // namespace qmt
