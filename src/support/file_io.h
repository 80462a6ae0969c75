// Whole-file reads and crash-safe writes.
#pragma once

#include <cstddef>
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

// The most a read takes unless the caller asks for less: far more than any
// file this program is given (a command file of 400 lines each filling a
// page), so that an endless input (/dev/zero, a pipe that never ends) is
// refused once it has passed this rather than read until memory runs out.
inline constexpr std::size_t kReadLimit = std::size_t{256} << 20;

// Reads a whole file as bytes, at most `limit` of them: a longer file is
// refused ("File too large", error EFBIG) as soon as the read passes the
// limit, so an endless one is never read to its end.  Raises FileError
// naming the file and the reason (for example "cannot open x.txt: No such
// file or directory"); a directory is refused ("Is a directory"), never read
// as an empty text.  A FIFO or a device is read as it comes, as `cat` would.
std::string ReadFile(const std::string& path, std::size_t limit = kReadLimit);

// ReadFile for a file that must be a file: a FIFO, a device or a socket is
// refused naming what it is, without waiting for a writer or reading an
// endless stream (error ENOTTY: not a kind of file this can be done with).
std::string ReadRegularFile(const std::string& path, std::size_t limit = kReadLimit);

// Standard input to its end, at most `limit` bytes (as ReadFile).
std::string ReadStandardInput(std::size_t limit = kReadLimit);

// Writes `bytes` to `path` so that a failed write never leaves a
// half-written file behind: into a temporary file beside it, renamed over it.
// A symbolic link is followed and its target written; the file keeps its
// permission bits (and, where allowed, its owner).  The one exception to
// atomicity: when the folder does not let a temporary file be created but
// the file itself is writable, the file is overwritten in place.  Temporary
// files that an interrupted earlier save left beside the file are removed
// first.  Replacing is for regular files only: a character device or a FIFO
// (or a link to one) is written directly, as a shell's `>` would, and stays
// what it is (a save to /dev/null or to a pipe's reader); a block device or
// a socket is refused, naming it.  Raises FileError naming the file and the
// reason (a full disk or device is "No space left on device").
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
