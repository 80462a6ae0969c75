#include "support/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qmt {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot open " + path + ": " + std::strerror(errno));
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) throw FileError("cannot read " + path + ": " + std::strerror(errno));
  return std::move(buffer).str();
}

namespace {

// The temporary files of earlier saves of `path` that were cut short (the
// program killed, the machine off) before their rename.  A save in progress
// holds a lock on its temporary file, so only the files nobody holds are
// removed; a file that cannot be opened or locked is left alone.
void RemoveLeftoverTemporaries(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
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

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
  RemoveLeftoverTemporaries(path);
  std::string temp = path + ".tmpXXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw FileError("cannot write " + path + ": " + std::strerror(errno));
  // Held until the file is closed (or the process dies), so that a save of
  // the same file by another process does not take this one for a leftover.
  flock(fd, LOCK_EX);
  auto fail = [&](const char* what) {
    int err = errno;
    close(fd);
    unlink(temp.c_str());
    throw FileError(std::string("cannot ") + what + " " + path + ": " + std::strerror(err));
  };
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write");
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) fail("write");
  fchmod(fd, 0644);
  if (close(fd) != 0) {
    int err = errno;
    unlink(temp.c_str());
    throw FileError("cannot write " + path + ": " + std::strerror(err));
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    unlink(temp.c_str());
    throw FileError("cannot replace " + path + ": " + std::strerror(err));
  }
}

}  // namespace qmt
