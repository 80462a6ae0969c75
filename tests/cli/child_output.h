// What a run of the built program left: its exit status and its two outputs,
// and the reading of a pipe to its end.
#pragma once

#include <unistd.h>

#include <string>

namespace qmt::cli_test {

struct Result {
  int status = -1;  // -1: killed (by a time limit, or for memory)
  std::string out, err;
};

inline std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

}  // namespace qmt::cli_test
