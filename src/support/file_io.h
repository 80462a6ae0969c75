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
// old contents survive.  Temporary files that an interrupted earlier save
// left beside `path` are removed first.  Raises FileError naming the file and
// the reason (a full disk is "No space left on device").
void WriteFileAtomic(const std::string& path, std::string_view bytes);

}  // namespace qmt
