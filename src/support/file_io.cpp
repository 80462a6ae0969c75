#include "support/file_io.h"

#include <fcntl.h>
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

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".tmpXXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) throw FileError("cannot write " + path + ": " + std::strerror(errno));
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
