#include "support/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace qmt {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, FileError::Op op, int code) {
  throw FileError(std::string("cannot ") + what + " " + path + ": " + std::strerror(code), path, op, code);
}

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string Folder(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t CurrentUmask() {
  mode_t mask = umask(022);
  umask(mask);
  return mask;
}

// The folder refuses new files, but the file itself takes writes: overwrite
// it where it is.  Not atomic; the only way to save at all in this case.
void WriteInPlace(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) Fail("write", path, FileError::Op::Write, errno);
  // Written first and cut to size after, so that the file is never empty
  // on the way.
  if (!WriteAll(fd, bytes) || ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || fsync(fd) != 0) {
    int err = errno;
    close(fd);
    Fail("write", path, FileError::Op::Write, err);
  }
  if (close(fd) != 0) Fail("write", path, FileError::Op::Write, errno);
}

// A character device or a FIFO takes the bytes as they are written; there
// is nothing to cut to size and nothing to sync.  The close is checked as
// the writes are: a full device says so.
void WriteDirect(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail("write", path, FileError::Op::Write, errno);
  if (!WriteAll(fd, bytes)) {
    int err = errno;
    close(fd);
    Fail("write", path, FileError::Op::Write, err);
  }
  if (close(fd) != 0) Fail("write", path, FileError::Op::Write, errno);
}

// The temporary files of earlier saves of `file` that were cut short (the
// program killed, the machine off) before their rename.  A save in progress
// holds a lock on its temporary file, so only the files nobody holds are
// removed; a file that cannot be opened or locked is left alone.
void RemoveLeftoverTemporaries(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  const std::string folder = Folder(file);
  const std::string prefix = (slash == std::string::npos ? file : file.substr(slash + 1)) + ".tmp";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const int fd = openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
      unlinkat(dirfd(dir), name.c_str(), 0);
    close(fd);
  }
  closedir(dir);
}

// "16 MiB" or "1000 bytes".
std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

[[noreturn]] void FailTooLarge(const std::string& path, std::size_t limit) {
  throw FileError("cannot read " + path + ": " + std::strerror(EFBIG) + " (more than " + SizeText(limit) + ")",
                  path, FileError::Op::Read, EFBIG);
}

// What a file that is not a regular file is, for a message; null for a
// regular file or a folder.
const char* SpecialKind(mode_t mode) {
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return nullptr;
}

// Reads `fd` to its end, or fails once more than `limit` bytes came.
// Closes `fd`.
std::string ReadAll(int fd, const std::string& path, std::size_t limit, std::size_t expected) {
  std::string bytes;
  if (expected > limit) {
    close(fd);
    FailTooLarge(path, limit);
  }
  if (expected > 0) bytes.reserve(expected);
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      Fail("read", path, FileError::Op::Read, err);
    }
    if (static_cast<std::size_t>(n) > limit - bytes.size()) {
      close(fd);
      FailTooLarge(path, limit);
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return bytes;
}

std::string Read(const std::string& path, std::size_t limit, bool regularOnly) {
  // Opened without waiting when only a file will do, so that a FIFO
  // without a writer is refused rather than waited on.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (regularOnly ? O_NONBLOCK : 0));
  if (fd < 0) Fail("open", path, FileError::Op::Read, errno);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int err = errno;
    close(fd);
    Fail("read", path, FileError::Op::Read, err);
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    Fail("read", path, FileError::Op::Read, EISDIR);
  }
  if (regularOnly) {
    if (const char* kind = SpecialKind(st.st_mode)) {
      close(fd);
      throw FileError("cannot read " + path + ": " + kind + ", not a file", path, FileError::Op::Read, ENOTTY);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  return ReadAll(fd, path, limit, S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0);
}

}  // namespace

std::string ReadFile(const std::string& path, std::size_t limit) { return Read(path, limit, false); }

std::string ReadRegularFile(const std::string& path, std::size_t limit) { return Read(path, limit, true); }

std::string ReadStandardInput(std::size_t limit) {
  int fd = dup(STDIN_FILENO);
  if (fd < 0) Fail("read", "standard input", FileError::Op::Read, errno);
  return ReadAll(fd, "standard input", limit, 0);
}

std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  // As many hops as the kernel itself follows.
  for (int hop = 0; hop < 40; ++hop) {
    char target[PATH_MAX];
    ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
    if (n < 0) return current;  // not a link (or gone): this is the file
    std::string next(target, static_cast<std::size_t>(n));
    current = next.front() == '/' ? next : Folder(current) + "/" + next;
  }
  return current;
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
  // What the name ends at, as the kernel follows it (/dev/stdout's link
  // into /proc included).  A device node or a FIFO is never replaced: one
  // renamed over would be gone for every other program.
  struct stat target {};
  if (stat(path.c_str(), &target) == 0 && SpecialKind(target.st_mode) != nullptr) {
    if (S_ISBLK(target.st_mode) || S_ISSOCK(target.st_mode)) {
      throw FileError("cannot write " + path + ": " + SpecialKind(target.st_mode) + ", not a file", path,
                      FileError::Op::Write, ENOTTY);
    }
    WriteDirect(path, bytes);
    return;
  }
  const std::string file = ResolveLinks(path);
  struct stat old {};
  const bool existed = stat(file.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) Fail("write", path, FileError::Op::Write, EISDIR);

  RemoveLeftoverTemporaries(file);
  std::string temp = file + ".tmpXXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if ((err == EACCES || err == EPERM) && existed && access(file.c_str(), W_OK) == 0) {
      WriteInPlace(file, bytes);
      return;
    }
    Fail("write", path, FileError::Op::Write, err);
  }
  // Held until the file is renamed and closed (or the process dies), so that
  // a save of the same file by another process does not take this one for a
  // leftover.
  flock(fd, LOCK_EX);
  auto fail = [&](const char* what) {
    int err = errno;
    unlink(temp.c_str());
    close(fd);
    Fail(what, path, FileError::Op::Write, err);
  };
  if (!WriteAll(fd, bytes)) fail("write");
  if (fsync(fd) != 0) fail("write");
  // The new file takes the old one's place with its permissions and, where
  // this process may give it, its owner; a new file gets the usual bits.
  if (existed) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Not allowed for another owner: the file becomes this user's.
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) fail("write");
  } else if (fchmod(fd, 0666 & ~CurrentUmask()) != 0) {
    fail("write");
  }
  if (rename(temp.c_str(), file.c_str()) != 0) fail("replace");
  if (close(fd) != 0) Fail("write", path, FileError::Op::Write, errno);
}

void RemoveStaleTemporaries(const std::string& path) { RemoveLeftoverTemporaries(ResolveLinks(path)); }

}  // namespace qmt
