// Whole-file reads and crash-safe writes.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace qmt {

class FileError : public std::runtime_error {
 public:
  // What went wrong with the file, so that a front end can word the message
  // in its own language: reading it, writing it, its contents, or making a
  // picture file's bytes (PNG, GIF) to write.
  enum class Op { Other, Read, Write, Contents, Encode };

  using std::runtime_error::runtime_error;
  FileError(const std::string& message, std::string path, Op op, int code = 0)
      : std::runtime_error(message), path_(std::move(path)), op_(op), code_(code) {}

  const std::string& Path() const { return path_; }
  Op Operation() const { return op_; }
  // The errno value behind the failure, 0 when there is none.
  int Code() const { return code_; }

 private:
  std::string path_;
  Op op_ = Op::Other;
  int code_ = 0;
};

// Reads a whole file as bytes.  Raises FileError naming the file and the
// reason (for example "cannot open x.txt: No such file or directory"); a
// directory is refused ("Is a directory"), never read as an empty text.
std::string ReadFile(const std::string& path);

// Writes `bytes` to `path` so that a failed write never leaves a
// half-written file behind: into a temporary file beside it, renamed over it.
// A symbolic link is followed and its target written; the file keeps its
// permission bits (and, where allowed, its owner).  The one exception to
// atomicity: when the folder does not let a temporary file be created but
// the file itself is writable, the file is overwritten in place.  Temporary
// files that an interrupted earlier save left beside the file are removed
// first.  Raises FileError naming the file and the reason (a full disk is
// "No space left on device").
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// Removes the temporary files that interrupted saves of `path` left beside
// it (named as WriteFileAtomic names them: the file's name, ".tmp" and six
// characters), for a caller that checks the file without saving it.  A
// save in progress is left alone.
void RemoveStaleTemporaries(const std::string& path);

// Where a write to `path` ends up: the last target of a chain of symbolic
// links (a dangling link gives the file it names), else `path` itself.
std::string ResolveLinks(const std::string& path);

}  // namespace qmt
