// Saves on a full file system fail with a message naming the file and the
// reason, keep the old file and leave no temporary file behind.  The real
// case needs a small tmpfs, which only root can mount (in a mount namespace
// of the test's own); the same failure is also forced everywhere through the
// file size limit, which makes write() fail part way as a full disk does.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "support/file_io.h"

namespace qmt {
namespace {

namespace fs = std::filesystem;

constexpr int kCannotSetUp = 77;

// Saves `bytes` over a file holding "old" and checks the failure; returns
// the process exit code (0 when all holds) after printing what did not.
int CheckFailedSave(const fs::path& dir, const std::string& bytes, const char* reason) {
  const std::string path = (dir / "qmtsimMacro.txt").string();
  try {
    WriteFileAtomic(path, bytes);
    std::fprintf(stderr, "the save of %zu bytes succeeded\n", bytes.size());
    return 1;
  } catch (const FileError& e) {
    const std::string what = e.what();
    if (what.find(path) == std::string::npos || what.find(reason) == std::string::npos) {
      std::fprintf(stderr, "message \"%s\" does not name %s and \"%s\"\n", what.c_str(), path.c_str(), reason);
      return 1;
    }
  }
  if (ReadFile(path) != "old") {
    std::fprintf(stderr, "the old file was not kept\n");
    return 1;
  }
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().find(".tmp") != std::string::npos) {
      std::fprintf(stderr, "temporary file %s left behind\n", e.path().c_str());
      return 1;
    }
  }
  return 0;
}

// Runs `body` in a child process and returns its exit code.
int InChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct ScratchDir {
  fs::path path = fs::temp_directory_path() / ("qmt_fulldisk_" + std::to_string(getpid()));
  ScratchDir() {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~ScratchDir() { fs::remove_all(path); }
};

TEST(FullDisk, SaveOnFullTmpfsFailsAndKeepsOldFile) {
  ScratchDir dir;
  const int result = InChild([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=128k") != 0)
      return kCannotSetUp;
    WriteFileAtomic((dir.path / "qmtsimMacro.txt").string(), "old");
    // Fill the file system, then free a little, so the new file is written
    // part way before the space runs out.
    {
      std::ofstream filler(dir.path / "filler", std::ios::binary);
      const std::string block(4096, 'f');
      while (filler.write(block.data(), block.size()) && filler.flush()) {
      }
    }
    fs::resize_file(dir.path / "filler", fs::file_size(dir.path / "filler") - 16384);
    return CheckFailedSave(dir.path, std::string(100000, 'n'), "No space left on device");
  });
  if (result == kCannotSetUp)
    GTEST_SKIP() << "no tmpfs can be mounted here (not root); FullDisk.WriteErrorPartWay covers the same failure";
  EXPECT_EQ(result, 0);
}

TEST(FullDisk, WriteErrorPartWayFailsAndKeepsOldFile) {
  ScratchDir dir;
  const int result = InChild([&] {
    WriteFileAtomic((dir.path / "qmtsimMacro.txt").string(), "old");
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16384, 16384};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return kCannotSetUp;
    return CheckFailedSave(dir.path, std::string(100000, 'n'), "File too large");
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace qmt
